#include "ui/Images.h"

#include <QPixmap>
#include <array>

void InitResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(quillmere);
        return true;
    }();
    (void)done;
}

namespace {

const std::array<const char*, 4> kImageFiles{":/images/folder-closed.png",
                                             ":/images/folder-open.png", ":/images/drive.png",
                                             ":/images/drive-selected.png"};

QPixmap Image(int index) {
    InitResources();
    if (index < 0 || index >= static_cast<int>(kImageFiles.size()))
        return {};
    return QPixmap(QString::fromLatin1(kImageFiles[static_cast<std::size_t>(index)]));
}

}  // namespace

QIcon ImageList1(int index) {
    return QIcon(Image(index));
}

QIcon NodeIcon(int image, int selectedImage) {
    QIcon icon;
    icon.addPixmap(Image(image), QIcon::Normal);
    icon.addPixmap(Image(selectedImage), QIcon::Selected);
    icon.addPixmap(Image(image), QIcon::Active);
    return icon;
}

QIcon ProgramIcon() {
    InitResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/images/quillmere-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
