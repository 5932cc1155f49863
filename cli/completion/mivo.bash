# bash completion for mivo: its commands, each command's options, and file names.
# Installed as share/bash-completion/completions/mivo; a test keeps the lists in step with
# `mivo --help`.

_mivo() {
  local cur=${COMP_WORDS[COMP_CWORD]} command="" i words
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      dump | undump | encode | decode | find | diff)
        command=${COMP_WORDS[i]}
        break
        ;;
    esac
  done
  case $command in
    dump) words="--start --length --offsets --no-row-numbers --columns --group --little-endian
                 --bits --base --decimal --display-offset --ebcdic --canonical --no-chars
                 --squeeze --upper --color --help" ;;
    undump) words="--offsets --no-row-numbers --columns --group --little-endian --bits --base
                   --decimal --display-offset --ebcdic --canonical --no-chars --squeeze --upper
                   --color --patch --undo --help" ;;
    encode) words="--skip --no-newline --width --c-array --sep --group --prefix --start --length
                   --upper --help" ;;
    decode) words="--strict --ignore --prefix --c-array --start --length --help" ;;
    find) words="--text --ignore-case --decimal --count --files-with-matches --max-count --context
          --color --help" ;;
    diff) words="--quiet --context --color --help" ;;
    *) words="dump undump encode decode find diff --help --version" ;;
  esac
  if [[ ${COMP_WORDS[COMP_CWORD - 1]} == --color ]]; then
    mapfile -t COMPREPLY < <(compgen -W "auto always never" -- "$cur")
  elif [[ ${COMP_WORDS[COMP_CWORD - 1]} == --base ]]; then
    mapfile -t COMPREPLY < <(compgen -W "hex bin oct dec" -- "$cur")
  elif [[ -n $command && $cur != -* ]]; then
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
  fi
}
complete -o filenames -o bashdefault -F _mivo mivo
