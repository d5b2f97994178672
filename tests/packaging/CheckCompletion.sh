#!/bin/bash
# Loads the bash completion of quorvane-cli as bash-completion does and
# checks what it offers against `quorvane-cli --help`: the options, the
# values of the options that take one of a few words, and the files by
# their place on the command line.
# Usage: CheckCompletion.sh QUORVANE_CLI COMPLETION_FILE
set -u
help=$("$1" --help)
source /usr/share/bash-completion/bash_completion
source "$2"

failed=0
same() {  # WHAT EXPECTED ACTUAL
  if [[ $2 == "$3" ]]; then
    echo "ok: $1: $2"
  else
    printf 'FAILED: %s:\n  expected: %s\n  offered:  %s\n' "$1" "$2" "$3"
    failed=1
  fi
}
sorted() { sed '/^$/d' | sort | tr '\n' ' '; }

registration=$(complete -p quorvane-cli 2>/dev/null)
[[ $registration =~ -F\ ([^ ]+) ]] || { echo "FAILED: no completion for quorvane-cli"; exit 1; }
complete_function=${BASH_REMATCH[1]}

# What completing the last of WORDS offers on "quorvane-cli WORDS...".
# Bash cuts "--mode=b" into "--mode", "=" and "b"; so is it cut here.
offered() {
  COMP_WORDS=(quorvane-cli)
  local word
  for word in "$@"; do
    if [[ $word == --*=* ]]; then
      COMP_WORDS+=("${word%%=*}" = "${word#*=}")
    else
      COMP_WORDS+=("$word")
    fi
  done
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="quorvane-cli $*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "$complete_function" quorvane-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sorted
}

cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
touch screen.avi TALK.AVI screen.mkv clip.MP4 screen.flv tone.mp3 notes.txt
mkdir folder
videos=$(printf '%s\n' TALK.AVI clip.MP4 folder screen.avi screen.mkv | sorted)
flv=$(printf '%s\n' folder screen.flv | sorted)

same "options" "$(grep -oE -- '--[a-z0-9][a-z0-9-]*' <<< "$help" | sort -u | sorted)" \
  "$(offered --)"
# "--mode lossless|bitrate|quality" in --help: words, and FILE.ext for files.
for option in --mode --colors --deflate --audio; do
  expected=$(awk -v option="$option" '$1 == option { print $2 }' <<< "$help" | tr '|' '\n' |
    while read -r value; do
      if [[ $value == FILE.* ]]; then compgen -G "*.${value#FILE.}"; echo folder; else echo "$value"; fi
    done | sorted)
  [[ -n $expected ]] || { echo "FAILED: $option has no values in --help"; failed=1; }
  same "values of $option" "$expected" "$(offered "$option" '')"
done

while IFS='|' read -r words expected; do
  read -r -a line <<< "$words"
  same "quorvane-cli $words _" "$expected" "$(offered "${line[@]}" '')"
done << EOF_ROWS
|$videos
--mode lossless|$videos
--mode=lossless --quiet|$videos
--quiet screen.avi|$flv
--audio avi screen.avi|$flv
-- screen.avi|$flv
screen.avi screen.flv|
--bitrate|
--output-dir|folder 
--output-dir folder screen.avi|$videos
screen.mkv clip.MP4 --output-dir=folder|$videos
EOF_ROWS
same "option begun" "--mode " "$(offered --mo)"
same "value after =" "bitrate " "$(offered --mode=b)"
exit $failed
