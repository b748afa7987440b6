#!/bin/sh
# Checks the source tree (argument 1) for arrows running back up: a folder
# may include only folders before it in LAYERS, decoder/ includes neither
# settings/ nor resources/ (the plug-in hands it the prompt as a hook), and
# only base/ touches the module state's fields.
LAYERS="base settings colour containers decoder exif plugin ui"
cd "$1" || exit 1
status=0
above=$LAYERS
for folder in $LAYERS; do
  above=${above#"$folder"}; above=${above# }
  for later in $above; do
    if grep -rn "^#include \"$later/" --include=*.cpp --include=*.h "$folder"; then
      echo "check-layers: $folder/ includes $later/, which stands above it"
      status=1
    fi
  done
  if [ "$folder" = decoder ] && grep -rn '^#include "\(settings\|resources\)/' --include=*.cpp --include=*.h decoder; then
    echo "check-layers: decoder/ includes settings/ or resources/: the plug-in passes its hooks in"
    status=1
  fi
  if [ "$folder" != base ] && grep -rn 'g_module\.' --include=*.cpp --include=*.h "$folder"; then
    echo "check-layers: $folder/ reaches into the module state's fields"
    status=1
  fi
done
[ $status = 0 ] && echo "check-layers: $LAYERS in order"
exit $status
