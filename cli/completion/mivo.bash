# bash completion for mivo: its commands, each command's options, and file names.
# Installed as share/bash-completion/completions/mivo; a test keeps the lists in step with
# `mivo --help`.

_mivo() {
  local cur=${COMP_WORDS[COMP_CWORD]} command="" i words
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      dump | encode | decode)
        command=${COMP_WORDS[i]}
        break
        ;;
    esac
  done
  case $command in
    dump) words="--no-row-numbers --no-chars --help" ;;
    encode) words="--skip --no-newline --help" ;;
    decode) words="--strict --help" ;;
    *) words="dump encode decode --help --version" ;;
  esac
  if [[ -n $command && $cur != -* ]]; then
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
  fi
}
complete -o filenames -o bashdefault -F _mivo mivo
