# bash completion for velmora-dat                          -*- shell-script -*-

_velmora_dat()
{
    local cur prev words cword split
    _init_completion -s || return

    # The command is the first word that is not an option; options before it are global.
    local command="" i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W '--help -h --version' -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W 'list extract build check add delete rename diff patch mount' -- "$cur")
        fi
        return
    fi

    local options
    case $command in
        list) options='--type --long --json --encoding --help -h' ;;
        extract) options='--type --keep-old-files -k --encoding --help -h' ;;
        build | check) options='--encoding --help -h' ;;
        add) options='--directory -C --as --keep-old-files -k --dry-run -n --wait --encoding --help -h' ;;
        delete | rename) options='--dry-run -n --wait --encoding --help -h' ;;
        diff) options='--json --quiet -q --text -p --patch --encoding --help -h' ;;
        patch) options='--force --dry-run -n --encoding --help -h' ;;
        mount) options='--read-only -r --foreground -f --commit-delay --recover --wait --encoding --help -h' ;;
        *) return ;;
    esac

    if [[ $prev == --type && $options == *--type* ]]; then
        # Either case is accepted; answer in the case already typed.
        if [[ $cur == [a-z]* ]]; then
            mapfile -t COMPREPLY < <(compgen -W 'bmp dat ega scr wav' -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W 'BMP DAT EGA SCR WAV' -- "$cur")
        fi
        return
    fi
    if [[ $prev == --encoding ]]; then
        mapfile -t COMPREPLY < <(compgen -W 'auto big5 gbk shift-jis utf-8' -- "$cur")
        return
    fi
    # Seconds to wait: nothing to offer.
    [[ $prev == @(--wait|--commit-delay) && $options == *$prev* ]] && return
    if [[ $command == add ]]; then
        case $prev in
            --directory | -C)
                _filedir -d
                return
                ;;
            --as) return ;;
        esac
    fi
    if [[ $command == diff ]]; then
        case $prev in
            --patch)
                _filedir '[dD][aA][tT]'
                return
                ;;
            --text | -p) return ;;
        esac
    fi
    $split && return

    # Count the operands already given; "--" ends the options, --type takes the next word.
    local operand=0 ended=false dir=""
    for ((i = i + 1; i < cword; i++)); do
        if $ended || [[ ${words[i]} != -?* ]]; then
            ((operand++))
        elif [[ ${words[i]} == -- ]]; then
            ended=true
        elif [[ ${words[i]} == @(--directory|-C) ]]; then
            dir=${words[i + 1]}
            ((i++))
        elif [[ ${words[i]} == --directory=* ]]; then
            dir=${words[i]#*=}
        elif [[ ${words[i]} == @(--type|--as|--wait|--text|-p|--patch|--encoding|--commit-delay) ]]; then
            ((i++))
        fi
    done

    if ! $ended && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi

    local archive='[dD][aA][tT]'
    case $command:$operand in
        list:0 | check:0 | extract:0 | build:1 | add:0 | delete:0 | rename:0 | diff:[01] | patch:[01] | mount:0)
            _filedir "$archive"
            ;;
        extract:1 | build:0 | mount:1) _filedir -d ;;
        add:*)
            if [[ -n $dir ]]; then
                # PATHs are read from DIR, as tar -C reads them.
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(cd -- "$dir" 2>/dev/null && compgen -f -- "$cur")
            else
                _filedir
            fi
            ;;
    esac
} &&
    complete -F _velmora_dat velmora-dat

# ex: filetype=sh
