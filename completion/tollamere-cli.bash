# SPDX-License-Identifier: MIT
# bash completion for tollamere-cli

_tollamere_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    # After "--" every word is a path.
    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir
            return
        fi
    done

    case $prev in
        -o | --output)
            _filedir -d
            # "-" is standard output.
            [[ -z $cur || $cur == - ]] && COMPREPLY+=(-)
            return
            ;;
        -x | --ext | --format)
            COMPREPLY=($(compgen -W 'avif bmp cur gif ico jpeg jpg jxl png tif tiff webp' -- "$cur"))
            return
            ;;
        --overwrite)
            COMPREPLY=($(compgen -W 'replace skip rename' -- "$cur"))
            return
            ;;
        --look)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W $'Classic\nSoft button\nGlass pill\nChiselled plate\nPillow' -- "$cur"))
            COMPREPLY=("${COMPREPLY[@]// /\\ }")
            _filedir
            return
            ;;
        --technique)
            COMPREPLY=($(compgen -W 'classic smooth chisel' -- "$cur"))
            return
            ;;
        --profile)
            COMPREPLY=($(compgen -W 'linear round cove ridge' -- "$cur"))
            return
            ;;
        --direction)
            COMPREPLY=($(compgen -W 'up down' -- "$cur"))
            return
            ;;
        --style)
            COMPREPLY=($(compgen -W 'inner outer emboss pillow' -- "$cur"))
            return
            ;;
        --shape)
            COMPREPLY=($(compgen -W 'green alpha luma:' -- "$cur"))
            [[ ${COMPREPLY-} == *: ]] && compopt -o nospace
            return
            ;;
        --files-from)
            _filedir
            return
            ;;
        --watch)
            _filedir -d
            return
            ;;
        -s | --size | -a | --angle | -e | --elevation | -j | --jobs | --max-memory | --depth | --soften | --margin | --drop-shadow | --quality | --png-level | --name)
            # A number or a pattern: nothing to offer.
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        local options='-o --output= -s --size= -a --angle= -e --elevation= -x --ext=
            -j --jobs= --max-memory= --look= --technique= --profile= --depth= --direction= --style= --soften= --shape=
            --highlight= --shadow= --margin= --drop-shadow=
            --keep-folders --name= --overwrite= --format= --scale= --width= --height= --ico-sizes= --quality=
            --png-level= --strip --no-auto-orient --files-from= -0 --null --watch= --json -q --quiet -v --verbose
            -h --help --version --'
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
}
complete -F _tollamere_cli tollamere-cli
