# Bash completion for orvello: the verbs, each verb's options and folder names where one is due.
_orvello() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} verb="" word
  COMPREPLY=()
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case $word in
      build | init | serve | check | lsp) verb=$word ;;
    esac
  done
  case $prev in
    -C)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
      ;;
    --bind | --port) return ;;
  esac
  local words
  case $verb in
    "") words="build init serve check lsp -C -h --help --version" ;;
    build) words="--help" ;;
    init) words="--help" ;;
    serve) words="--bind --port --poll --no-reload --help" ;;
    check) words="--werror --help" ;;
    lsp) words="--help" ;;
  esac
  if [[ $verb == init && $cur != -* ]]; then
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
    return
  fi
  mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}
complete -F _orvello orvello
