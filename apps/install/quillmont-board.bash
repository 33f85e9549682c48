# bash completion for quillmont-board: its options, the virtual board's option names and file
# names. The lists come from the program itself.
_quillmont_board() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    local program=${COMP_WORDS[0]}
    # --sim=NAME is split at the '=' by readline's word breaks.
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    case $prev in
        --listen)
            COMPREPLY=($(compgen -W "127.0.0.1:2217 0.0.0.0:2217 [::1]:2217" -- "$cur"))
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
    COMPREPLY=($(compgen -W "$("$program" --help 2>/dev/null |
        grep -o -- '--[a-z-]*' | sort -u)" -- "$cur"))
}
complete -F _quillmont_board quillmont-board
