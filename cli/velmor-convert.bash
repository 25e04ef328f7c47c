# bash completion for velmor-convert; installed as
# share/bash-completion/completions/velmor-convert.
_velmor_convert() {
    local cur prev
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -o|--output|--report-json)
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --gaiji)
            COMPREPLY=($(compgen -f -W none -- "$cur"))
            return
            ;;
        -j|--jobs|--max-report|--suffix)
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-h --help -V --version --to-sjis --to-velmor --to-utf8
            --from-utf8 -o --output --suffix --in-place --keep-line-ends --force -j --jobs -q
            --quiet --gaiji --report --max-report --report-json --check --strict --restore-kept' \
            -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _velmor_convert velmor-convert
