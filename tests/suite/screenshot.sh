# Sourced by the window suites' runners: the runner's half of the
# screenshot handshake (screenshot.h is the program's).
#
#   take_screenshots PID FOLDER PREFIX
# While process PID runs, every PREFIX-NAME.ready that it writes into FOLDER
# (a window's left top width height) becomes the screen's part around that
# window, PREFIX-NAME.png in FOLDER, and PREFIX-NAME.done tells the program
# to go on.
take_screenshots() {
  local pid=$1 folder=$2 prefix=$3 ready name x y w h geometry margin=8
  while kill -0 "$pid" 2>/dev/null; do
    for ready in "$folder/$prefix"-*.ready; do
      [ -e "$ready" ] || continue
      name="$(basename "$ready" .ready)"
      read -r x y w h <"$ready"
      geometry="$((w + 2 * margin))x$((h + 2 * margin))+$((x > margin ? x - margin : 0))+$((y > margin ? y - margin : 0))"
      if ! xwd -root -silent | convert xwd:- -crop "$geometry" +repage "png:$folder/$name.png"; then
        echo "$(basename "$0"): no screenshot for $name" >&2
      fi
      rm -f "$ready"
      touch "$folder/$name.done"
    done
    sleep 0.05
  done
}
