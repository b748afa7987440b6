/*
 * profile_reader.h - the picture's colours as its header gives them: the
 * embedded ICC profile, read from its APP2 chunks while libjpeg parses the
 * header, and the transform the request applies to the decoded colours.
 */
#ifndef MOVRELA_PROFILE_READER_H
#define MOVRELA_PROFILE_READER_H

#include <cstdint>

#include "base/request_records.h"
#include "colour/colour.h"

/* libjpeg marker processor for APP2: keeps a copy of each "ICC_PROFILE"
 * chunk of the header in the context's chunks. A chunk that breaks the set
 * (count or sequence 0, a sequence above the count, another count, a
 * repeat) marks it broken; a chunk no copy can be had for is skipped and
 * leaves the set incomplete. Other APP2 segments are passed over. */
boolean readProfileChunk(j_decompress_ptr cinfo);

/* Whether the header pass of a `kind` input reads the picture's colours:
 * the APP2 chunks and, with ExifSupport, the Exif colour mark. */
bool colourWanted(const PluginSettings &settings, int32_t kind);

/* After jpeg_read_header: the transform for the picture's colours, whose
 * decoded samples are of `model`, under the context's settings; null when
 * they stay as decoded. The chunks read so far make the profile when they
 * are one whole profile; later chunks are passed over. */
ColourTransform *acquirePictureColour(RequestContext *context, ColourModel model);

#endif /* MOVRELA_PROFILE_READER_H */
