# bash completion for fpcctl
_fpcctl()
{
    local cur prev words cword
    _init_completion || return

    local commands="status watch upload collect config clear active log quit export map help"
    local globals="--help --version --json --timeout"

    case $prev in
        --timeout | -t | --count | -n)
            return ;;
        --format | -f)
            COMPREPLY=($(compgen -W "geojson csv" -- "$cur"))
            return ;;
        --db | --output | -o)
            _filedir
            return ;;
    esac

    # The command is the first word that is neither an option nor an option's value.
    local i command="" args=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --timeout | -t | --count | -n | --format | -f | --db | --output | -o) ((i++)) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=${words[i]}; else args+=("${words[i]}"); fi ;;
        esac
    done

    if [[ $cur == -* ]]; then
        local extra=""
        case $command in
            watch) extra="--count" ;;
            clear) extra="--yes" ;;
            export) extra="--format --db --output" ;;
            map) extra="--db --output" ;;
        esac
        COMPREPLY=($(compgen -W "$globals $extra" -- "$cur"))
        return
    fi

    case $command in
        "")
            COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
        config)
            case ${#args[@]} in
                0) COMPREPLY=($(compgen -W "show get set load keys" -- "$cur")) ;;
                1) case ${args[0]} in
                       get | set) COMPREPLY=($(compgen -W "$(fpcctl config keys 2>/dev/null | cut -f1)" -- "$cur")) ;;
                       load) _filedir ;;
                   esac ;;
            esac ;;
        active | collect | upload)
            [[ ${#args[@]} -eq 0 ]] && COMPREPLY=($(compgen -W "on off" -- "$cur")) ;;
        log)
            [[ ${#args[@]} -eq 0 ]] && COMPREPLY=($(compgen -W "restart" -- "$cur")) ;;
        help)
            [[ ${#args[@]} -eq 0 ]] && COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    esac
} &&
    complete -F _fpcctl fpcctl
