# bash completion for vrk: the commands, their options, *.vrk files for the
# archive arguments and folders for the folder argument. The commands and
# options are read from vrk's own --help, so they follow the program.

# The command names (not their aliases) of `vrk --help`.
_vrk_commands()
{
    "$1" --help 2>/dev/null | awk '
        /^[A-Za-z]/ { in_list = ($0 ~ /^Subcommands:/); next }
        in_list && NF { sub(/^ +/, ""); sub(/[ ,].*/, ""); print }'
}

_vrk()
{
    local cur prev words cword
    _init_completion || return

    # The command is the first word that is not an option; options may come
    # before or after it.
    local i command="" argument=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -C | --directory | -o | --output) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                else
                    ((argument++))
                fi
                ;;
        esac
    done

    case $prev in
        -C | --directory)
            _filedir -d
            return
            ;;
        -o | --output)
            _filedir
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        if [[ -n $command ]]; then
            COMPREPLY=($(compgen -W '$(_parse_help "$1" "$command --help")' -- "$cur"))
        else
            COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        fi
        return
    fi

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W '$(_vrk_commands "$1")' -- "$cur"))
        return
    fi

    case $command in
        compress | c)
            if ((argument == 0)); then
                _filedir -d
            else
                _filedir vrk
            fi
            ;;
        diff)
            ((argument < 2)) && _filedir vrk
            ;;
        *)
            # The archive first; what follows it (entry names) is free text.
            if ((argument == 0)); then
                _filedir vrk
            fi
            ;;
    esac
} && complete -F _vrk vrk
