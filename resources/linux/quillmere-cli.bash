# Bash completion for quillmere-cli: its commands, each command's options, directories for
# the paths, and after --exclude, --keep-only and --exclude-dir the types and directory names
# of the source already on the line, as `quillmere-cli stats --json` counts them. The commands
# and options are read from the program's own usage, so they stay what the program takes.

# The usage of each command on one line, its brackets and "..." taken out:
# "copy SOURCE OUTPUTDIR --exclude TYPE --keep-only TYPE ... --json".
_quillmere_cli_usage() {
    "$1" --help 2>/dev/null | awk '
        /^  quillmere-cli --/ { next }
        /^  quillmere-cli / { if (line != "") print line; sub(/^  quillmere-cli +/, ""); line = $0; next }
        /^ +\[/ && line != "" { line = line " " $0; next }
        { if (line != "") print line; line = "" }
        END { if (line != "") print line }' | tr -d '[]' | sed -e 's/\.\.\.//g' -e 's/  */ /g'
}

# The values of `key` ("type" or "name") in the statistics of the directory `dir`.
_quillmere_cli_counted() {
    "$1" stats "$2" --json 2>/dev/null | grep -o "\"$3\":\"[^\"]*\"" | sed -e "s/^\"$3\":\"//" -e 's/"$//'
}

# What the option `$1` takes in the usage of the command `words` holds (the caller's): the
# word that stands for its value, if any.
_quillmere_cli_value() {
    local k
    for ((k = 1; k < ${#words[@]} - 1; k++)); do
        if [ "${words[k]}" = "$1" ] && [[ ${words[k + 1]} != -* ]]; then
            echo "${words[k + 1]}"
            return
        fi
    done
}

_quillmere_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} program=${COMP_WORDS[0]}
    local usage line words=() i
    COMPREPLY=()
    usage=$(_quillmere_cli_usage "$program")
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$(cut -d' ' -f1 <<<"$usage") --help --version" -- "$cur"))
        return
    fi
    line=$(grep -m1 "^${COMP_WORDS[1]} " <<<"$usage") || return
    read -r -a words <<<"$line"

    # The operands given so far, option values left aside.
    local operands=() value
    for ((i = 2; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == -* ]]; then
            [ -n "$(_quillmere_cli_value "${COMP_WORDS[i]}")" ] && ((i++))
        else
            operands+=("${COMP_WORDS[i]}")
        fi
    done

    value=$(_quillmere_cli_value "${COMP_WORDS[COMP_CWORD - 1]}")
    case $value in
        TYPE) [ ${#operands[@]} -gt 0 ] &&
            COMPREPLY=($(compgen -W "$(_quillmere_cli_counted "$program" "${operands[0]}" type)" -- "$cur")) ;;
        NAME) [ ${#operands[@]} -gt 0 ] &&
            COMPREPLY=($(compgen -W "$(_quillmere_cli_counted "$program" "${operands[0]}" name)" -- "$cur")) ;;
        WORKDIR) COMPREPLY=($(compgen -d -- "$cur")) ;;
        "")
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$(tr ' ' '\n' <<<"$line" | grep '^--')" -- "$cur"))
            elif [ "${words[${#operands[@]} + 1]}" = PATH ]; then
                COMPREPLY=($(compgen -f -- "${operands[0]}/$cur" | sed "s|^${operands[0]}/||"))
            else
                COMPREPLY=($(compgen -d -- "$cur"))
            fi
            ;;
    esac
}

complete -o filenames -F _quillmere_cli quillmere-cli
