#!/usr/bin/env bash
# Writes a large JPEG picture, tiled at run time from a corpus photograph
# and piped to cjpeg, so that no large picture is kept in the repository.
# An existing OUT is kept (the options are part of its name by custom).
#
#   tests/bench/big_picture.sh WIDTH HEIGHT OUT.jpg [CJPEG_OPTION...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
width=$1 height=$2 out=$3
shift 3
[ -s "$out" ] && exit 0
mkdir -p "$(dirname "$out")"
djpeg -pnm "$here/../corpus/orientation/landscape_1.jpg" |
  perl -e '
    my ($w, $h) = @ARGV;
    binmode STDIN; binmode STDOUT;
    local $/; my $ppm = <STDIN>;
    $ppm =~ s/^P6\s+(\d+)\s+(\d+)\s+255\s//s or die "not a PPM\n";
    my ($tw, $th) = ($1, $2);
    # Each tile row repeated across the width; every other tile mirrored,
    # so that no seam is a hard edge.
    my @rows;
    for my $y (0 .. $th - 1) {
      my $row = substr($ppm, $y * $tw * 3, $tw * 3);
      my $back = join "", reverse unpack "(a3)*", $row;
      my $pair = $row . $back;
      $rows[$y] = substr($pair x (int($w / (2 * $tw)) + 1), 0, $w * 3);
    }
    print "P6\n$w $h\n255\n";
    for my $y (0 .. $h - 1) {
      my $t = $y % (2 * $th);
      print $rows[$t < $th ? $t : 2 * $th - 1 - $t];
    }
  ' "$width" "$height" |
  cjpeg -quality 90 "$@" -outfile "$out.part"
mv "$out.part" "$out"
