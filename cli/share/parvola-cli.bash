# bash completion for parvola-cli: commands, their options, local files and
# folders where a command takes them.
_parvola_cli() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="login logout sync ls tree store read backup rm restore purge mkdir rename bin space resume settings encrypt passphrase help"
    local globals="--account --password-stdin --passphrase-stdin --passphrase-command --remember-passphrase --refresh --help --version"

    # The command is the first word that is no option (and no option's value).
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --account | --passphrase-command) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done

    case $prev in
        --account | --passphrase-command) return ;;
        --to) _parvola_cli_paths -d; return ;;
        --save-unfinished) COMPREPLY=($(compgen -W "yes no" -- "$cur")); return ;;
        --folder) return ;;
        --imap) COMPREPLY=($(compgen -W "imap:// imaps://" -- "$cur")); compopt -o nospace 2>/dev/null; return ;;
        --pop3) COMPREPLY=($(compgen -W "pop3:// pop3s://" -- "$cur")); compopt -o nospace 2>/dev/null; return ;;
        --smtp) COMPREPLY=($(compgen -W "smtp:// smtps://" -- "$cur")); compopt -o nospace 2>/dev/null; return ;;
        --store-with) COMPREPLY=($(compgen -W "append smtp" -- "$cur")); return ;;
        --mail-folder) COMPREPLY=($(compgen -W "INBOX" -- "$cur")); return ;;
        --piece-size) return ;;
    esac

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands $globals" -- "$cur"))
        return
    fi

    local options=""
    case $command in
        login)
            options="--password-stdin --forget-password --direct --encrypt --yes"
            if [[ " ${words[*]} " == *" --direct "* ]]; then
                options+=" --imap --pop3 --smtp --store-with --mail-folder --allow-plaintext --piece-size --password-command --oauth2-token-command"
            fi
            ;;
        ls | tree | bin | space) options="--json" ;;
        store) options="--folder -r --recursive --save-unfinished" ;;
        read) options="--folder --to -r --recursive --save-unfinished" ;;
        backup) options="--folder --dry-run -n" ;;
        purge | encrypt) options="--yes -y" ;;
        mkdir) options="-p --parents --auto" ;;
        resume) options="--save-unfinished" ;;
        settings)
            if [[ $prev == settings ]]; then
                COMPREPLY=($(compgen -W "autostart continue defpath" -- "$cur"))
            elif [[ $prev == autostart || $prev == continue ]]; then
                COMPREPLY=($(compgen -W "true false" -- "$cur"))
            elif [[ $prev == defpath ]]; then
                _parvola_cli_paths -d
            fi
            return
            ;;
        help)
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $globals --help" -- "$cur"))
        return
    fi
    case $command in
        store) _parvola_cli_paths -f ;;
        backup) _parvola_cli_paths -d ;;
    esac
}

# Local files (-f) or folders (-d) that start with $cur, one per word even
# when a name holds blanks.
_parvola_cli_paths() {
    local IFS=$'\n'
    COMPREPLY=($(compgen "$1" -- "$cur"))
}
complete -o filenames -F _parvola_cli parvola-cli
