# bash completion for kvt710: its commands, config's commands, and each
# command's options; files where a command takes a file or a database path.
# Installed as share/bash-completion/completions/kvt710.

_kvt710() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local command=${COMP_WORDS[1]} words
  case $prev in
    --db | --rejects | --emit)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    --max-line-bytes | --key | --before | --transe-flg | --upd-flg | --store | --section | \
      --customers | --seed)
      return
      ;;
  esac
  if [ "$COMP_CWORD" -eq 1 ]; then
    words="script init import delete show check config demo methods --help --version"
  else
    case $command in
      script) words="--help" ;;
      init) words="--db --help" ;;
      import) words="--db --rejects --max-line-bytes --check --json --help" ;;
      delete) words="--key --before --transe-flg --upd-flg --dry-run --store --db --help" ;;
      show | check) words="--db --help" ;;
      demo) words="--customers --seed --emit --db --help" ;;
      methods) words="--json-schema --help" ;;
      config)
        if [ "$COMP_CWORD" -eq 2 ]; then
          words="get set list path --help"
        else
          case ${COMP_WORDS[2]} in
            get) words="--reveal --section --help" ;;
            set | list) words="--section --help" ;;
            path) words="--help" ;;
          esac
        fi
        ;;
    esac
    # script and import read a file, show takes a key.
    if [[ $cur != -* && ($command == script || $command == import) ]]; then
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
    fi
  fi
  mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}
complete -F _kvt710 kvt710
