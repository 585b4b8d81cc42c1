# Bash completion for koravel-sim: its commands, their options, and map files.
_koravel_sim() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  local command=""
  local i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      info | run | render | compare) command=${COMP_WORDS[i]}; break ;;
    esac
  done

  case $prev in
    --frames | --frame-ms | --start-ms | --seed | --fill | --size | --seeds | --jobs) return ;;
    --zoom) COMPREPLY=($(compgen -W "25 50 100 200" -- "$cur")); return ;;
    --trace | --stats) COMPREPLY=($(compgen -f -X '!*.csv' -- "$cur") $(compgen -d -- "$cur")); return ;;
    --heatmap-diff) COMPREPLY=($(compgen -f -X '!*.png' -- "$cur") $(compgen -d -- "$cur")); return ;;
    --save) COMPREPLY=($(compgen -f -X '!*.kvl' -- "$cur") $(compgen -d -- "$cur")); return ;;
  esac

  local options
  case $command in
    "") COMPREPLY=($(compgen -W "info run render compare --help --version" -- "$cur")); return ;;
    info) options="--help" ;;
    run) options="--frames --frame-ms --start-ms --seed --fill --trace --save --stats --stop-on-gridlock --help" ;;
    render) options="--frames --frame-ms --start-ms --seed --zoom --size --heatmap --no-hud --help" ;;
    compare) options="--seeds --frames --jobs --table --heatmap-diff --zoom --size --help" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command == render && $prev == *.kvl ]]; then
    COMPREPLY=($(compgen -f -X '!*.png' -- "$cur") $(compgen -d -- "$cur"))
  else
    COMPREPLY=($(compgen -f -X '!*.kvl' -- "$cur") $(compgen -d -- "$cur"))
  fi
}
complete -o filenames -F _koravel_sim koravel-sim
