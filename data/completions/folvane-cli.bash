# bash completion for folvane-cli

_folvane_cli_words() {
    case "$1" in
        --page-size) echo "image A3 A4 A5 B5 Letter Legal 210x297mm 8.5x11in" ;;
        --rotate) echo "0 90 180 270" ;;
        --fit) echo "fit stretch" ;;
        --dpi) echo "keep 72 96 150 200 300 600 1200" ;;
        --layout) echo "1 2 4 6 9 16" ;;
        --order) echo "horizontal vertical" ;;
        --color-compression|--gray-compression) echo "none lzw zip packbits jpeg" ;;
        --bw-compression) echo "none lzw zip g3 g4" ;;
        --auto-orient) echo "on off" ;;
        --skew-method) echo "basic refined" ;;
        --bookmarks) echo "page name filename path" ;;
        --header-align|--footer-align) echo "left center right" ;;
        --watermark-position|--watermark-image-position)
            echo "top-left top-center top-right center-left center center-right bottom-left bottom-center bottom-right" ;;
        --header-color|--footer-color|--watermark-color) echo "black white red green blue navy gray '#'" ;;
        --open-panel) echo "none bookmarks thumbnails" ;;
        --open-zoom) echo "fit-width fit-page" ;;
        --encrypt) echo "rc4-40 rc4-128 aes-128 aes-256" ;;
        --allow) echo "none print copy modify print,copy print,copy,modify" ;;
        -m|--mode) echo "merge image folder" ;;
        -e|--exists) echo "ask overwrite new append" ;;
        --after) echo "none shutdown standby restart logoff open" ;;
    esac
}

_folvane_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    local command="" sub="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case "${COMP_WORDS[i]}" in
            convert|watch|settings|info) [[ -z $command ]] && command=${COMP_WORDS[i]} ;;
            list|get|set) [[ $command == settings && -z $sub ]] && sub=${COMP_WORDS[i]} ;;
        esac
    done

    local settings_options="--page-size --rotate --fit --dpi --margin --layout --order --repeat --border
        --quality --color-compression --gray-compression --bw-compression --deskew
        --bookmarks --bookmark-per-file
        --header --header-align --header-color --footer --footer-align --footer-color
        --watermark --watermark-position --watermark-size --watermark-color
        --watermark-image --watermark-image-position --watermark-image-size
        --open-panel --open-zoom --fit-window --center-window --full-screen --hide-menubar --hide-toolbar
        --hide-window-ui --title --subject --author --keywords --creator
        --encrypt --allow --user-password-file --owner-password-file
        --auto-orient --lossless --skew-method
        --ocr --ocr-lang
        --set --dry-run --json --progress --no-progress --mode --output --exists --log --after --quiet
        --settings --help"
    local convert_options="$settings_options --recursive --filter --natural-sort --jobs --shard --shards"
    local watch_options="$settings_options --interval --settle --subdir --delete-success --keep-subfolders --natural-sort --shared --lease --host"

    case "$prev" in
        --watermark-image|--user-password-file|--owner-password-file|--settings)
            COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --log) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --ocr-lang) COMPREPLY=($(compgen -W "$(folvane-cli info --ocr-languages 2>/dev/null)" -- "$cur")); return ;;
        -o|--output) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --set)
            local keys
            keys=$(folvane-cli settings list 2>/dev/null | sed -n '/^[^#]/s/=.*/=/p')
            compopt -o nospace 2>/dev/null
            COMPREPLY=($(compgen -W "$keys" -- "$cur")); return ;;
    esac
    local values
    values=$(_folvane_cli_words "$prev")
    if [[ -n $values ]]; then
        COMPREPLY=($(compgen -W "$values" -- "$cur"))
        return
    fi

    case "$command" in
        "") COMPREPLY=($(compgen -W "convert watch settings info --settings --help --version" -- "$cur")) ;;
        convert)
            if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W "$convert_options" -- "$cur"))
            else COMPREPLY=($(compgen -f -- "$cur")); fi ;;
        watch)
            if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W "$watch_options" -- "$cur"))
            else COMPREPLY=($(compgen -d -- "$cur")); fi ;;
        settings)
            if [[ -z $sub ]]; then
                COMPREPLY=($(compgen -W "list get set" -- "$cur"))
            elif [[ $sub != list && $prev == "$sub" ]]; then
                COMPREPLY=($(compgen -W "$(folvane-cli settings list 2>/dev/null | sed -n '/^[^#]/s/=.*//p')" -- "$cur"))
            fi ;;
        info)
            if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W "--ocr-languages" -- "$cur"))
            else COMPREPLY=($(compgen -f -- "$cur")); fi ;;
    esac
}

complete -o filenames -F _folvane_cli folvane-cli
