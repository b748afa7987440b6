#!/bin/sh
# Checks the source tree (argument 1) for arrows running back up: a folder
# may include only folders before it in LAYERS, and a file only files of
# its own folder that stand before it (or beside it: NAME.cpp includes
# NAME.h) in that folder's order below; decoder/ includes neither settings/
# nor resources/ (the plug-in hands it the prompt as a hook), and only
# base/ touches the module state's fields. A new file takes its place in
# its folder's order here.
LAYERS="base settings colour containers decoder exif plugin ui"

# Each folder's files (NAME.h with NAME.cpp), lowest first.
order_of() {
  case $1 in
    base) echo "host_interface byte_order jpeg plugin_settings work_hooks blocks dib_writer" \
               "sha256 all_cores request_records module_state" ;;
    settings) echo "setting_buffers store_watch settings" ;;
    colour) echo "colour kernel_choice lcms_arith matrix_kernel lut_kernel lcms_context" \
                 "colour_transform profile_limits display_profile transform_cache transform apply" ;;
    containers) echo "container turn j6i pmp plain_jpeg detect" ;;
    decoder) echo "error_manager progression progress segment_reader memory_layer" \
                  "profile_reader sources bitmap_output open_release header_pass scan_walk" \
                  "recovery row_split internal_decoder" ;;
    exif) echo "segment report maker_note thumbnail_description report_walk colour_mark" \
               "thumbnail reader" ;;
    plugin) echo "exports broken_file_prompt external_decoder header_queries plugin_info" \
                 "dispatcher process_attach" ;;
    ui) echo "settings_dialog configuration" ;;
  esac
}

# Position of module $1 in the list $2, from 1; 0 when it is not there.
rank() {
  position=0
  for name in $2; do
    position=$((position + 1))
    if [ "$name" = "$1" ]; then echo $position; return; fi
  done
  echo 0
}

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
  order=$(order_of "$folder")
  for file in "$folder"/*.cpp "$folder"/*.h; do
    [ -e "$file" ] || continue
    module=${file##*/}; module=${module%.*}
    own=$(rank "$module" "$order")
    if [ "$own" = 0 ]; then
      echo "check-layers: $file has no place in the order of $folder/ (tests/check-layers.sh)"
      status=1
      continue
    fi
    for included in $(sed -n "s|^#include \"$folder/\([a-z_0-9]*\)\.h\".*|\1|p" "$file"); do
      if [ "$(rank "$included" "$order")" -gt "$own" ]; then
        echo "check-layers: $file includes $folder/$included.h, which stands above it"
        status=1
      fi
    done
  done
done
[ $status = 0 ] && echo "check-layers: $LAYERS in order, and each folder's files"
exit $status
