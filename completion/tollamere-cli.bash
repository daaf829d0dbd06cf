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
            return
            ;;
        -x | --ext)
            COMPREPLY=($(compgen -W 'avif bmp cur gif ico jpeg jpg jxl png tif tiff webp' -- "$cur"))
            return
            ;;
        -s | --size | -a | --angle | -e | --elevation | -j | --jobs | --max-memory)
            # A number: nothing to offer.
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        local options='-o --output= -s --size= -a --angle= -e --elevation= -x --ext=
            -j --jobs= --max-memory= -q --quiet -v --verbose --help --version --'
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
}
complete -F _tollamere_cli tollamere-cli
