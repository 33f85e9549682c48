# bash completion for quillmont-cli: its options, the ports it lists, the virtual board's
# option names and file names. The lists come from the program itself.
_quillmont_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    local program=${COMP_WORDS[0]}
    # --port=NAME is split at the '=' by readline's word breaks.
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    case $prev in
        --port)
            # The first field of each port line; the advice lines after the list have blanks.
            COMPREPLY=($(compgen -W "$("$program" --list-ports 2>/dev/null |
                awk -F '\t' '$1 !~ / / { print $1 }')" -- "$cur"))
            return
            ;;
        --sim)
            COMPREPLY=($(compgen -W "$("$program" --list-sim-options 2>/dev/null)" -- "$cur"))
            # A name that takes a value ends in '=': the value follows without a blank.
            [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
            return
            ;;
        --dump-flash)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$("$program" --help 2>/dev/null |
            grep -o -- '--[a-z-]*' | sort -u)" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _quillmont_cli quillmont-cli
