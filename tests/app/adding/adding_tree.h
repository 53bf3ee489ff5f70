#pragma once
// A scratch folder tree of media and non-media files for the adding window's tests, made from
// the generated fixtures (fixtures/media_fixtures.h):
//
//   <root>/b_clip.avi                   clip.avi: 2 s, mpeg4 64x48 at 25 fps + PCM audio
//   <root>/g_truncated.avi              the first half of clip.avi's bytes
//   <root>/e_text.avi                   a line of plain text
//   <root>/f_empty.avi                  zero bytes
//   <root>/notes.txt                    plain text, not a media name
//   <root>/.j_hidden.avi                clip.avi in a hidden file
//   <root>/nested/a_audio_first.avi     clip.avi remuxed with the audio as stream 0
//   <root>/nested/tone.mkv              a WAV file (1 s, no video) under a media name
//   <root>/nested/deeper/c_clip.AVI     clip.avi, upper-case extension
//   <root>/.hidden/d_clip.avi           clip.avi in a hidden folder
//   <root>/loose/h_clip.M               clip.avi under names that are not media names
//   <root>/loose/i_clip
//   <root>/loose/k_clip.MP

#include <QString>
#include <QTemporaryDir>

namespace testing_support {

struct TAddingTree {
  QString Root;  // no trailing "/"
  QString Path(const QString& relative) const { return Root + QLatin1Char('/') + relative; }
};

/// Writes the tree into folder (which exists). Fails the current test on an error.
TAddingTree WriteAddingTree(const QString& folder);

/// Copies clip.avi's packets into path with the streams in reverse order (audio first).
void WriteAudioFirstAvi(const std::string& source, const std::string& path);

}  // namespace testing_support
