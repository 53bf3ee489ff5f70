#include "app/adding/adding_tree.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <stdexcept>
#include <vector>

#include "fixtures/media_fixtures.h"
#include "media/ff_api.h"
#include "media/ff_handles.h"

namespace testing_support {

namespace {

using media::FF;

void Check(int result, const char* step) {
  if (result < 0) throw std::runtime_error(std::string(step) + " failed");
}

void Copy(const std::string& from, const QString& to) {
  QDir().mkpath(QFileInfo(to).path());
  QFile::remove(to);
  ASSERT_TRUE(QFile::copy(QString::fromStdString(from), to)) << to.toStdString();
}

}  // namespace

void WriteAudioFirstAvi(const std::string& source, const std::string& path) {
  AVFormatContext* opened = nullptr;
  Check(FF().avformat_open_input(&opened, source.c_str(), nullptr, nullptr), "avformat_open_input");
  const media::TInputContextPtr in{opened};
  const media::TPacketPtr packet{FF().av_packet_alloc()};
  Check(FF().avformat_find_stream_info(in.get(), nullptr), "avformat_find_stream_info");
  AVFormatContext* allocated = nullptr;
  Check(FF().avformat_alloc_output_context2(&allocated, nullptr, "avi", path.c_str()), "avformat_alloc_output_context2");
  const media::TOutputContextPtr out{allocated};
  const int count = static_cast<int>(in->nb_streams);
  std::vector<int> map(count);
  for (int k = count - 1; k >= 0; --k) {
    AVStream* st = FF().avformat_new_stream(out.get(), nullptr);
    if (st == nullptr) throw std::runtime_error("avformat_new_stream failed");
    Check(FF().avcodec_parameters_copy(st->codecpar, in->streams[k]->codecpar), "avcodec_parameters_copy");
    st->codecpar->codec_tag = 0;
    st->time_base = in->streams[k]->time_base;
    map[k] = st->index;
  }
  Check(FF().avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE), "avio_open");
  Check(FF().avformat_write_header(out.get(), nullptr), "avformat_write_header");
  while (FF().av_read_frame(in.get(), packet.get()) >= 0) {
    const int from = packet->stream_index;
    packet->stream_index = map[from];
    FF().av_packet_rescale_ts(packet.get(), in->streams[from]->time_base, out->streams[map[from]]->time_base);
    Check(FF().av_interleaved_write_frame(out.get(), packet.get()), "av_interleaved_write_frame");
  }
  Check(FF().av_write_trailer(out.get()), "av_write_trailer");
}

TAddingTree WriteAddingTree(const QString& folder) {
  const fixtures::TMediaFixtures& media = fixtures::MediaFixtures();
  TAddingTree tree{folder};
  Copy(media.ClipAvi, tree.Path(QStringLiteral("b_clip.avi")));
  Copy(media.TruncatedAvi, tree.Path(QStringLiteral("g_truncated.avi")));
  Copy(media.TextAvi, tree.Path(QStringLiteral("e_text.avi")));
  Copy(media.EmptyAvi, tree.Path(QStringLiteral("f_empty.avi")));
  Copy(media.TextAvi, tree.Path(QStringLiteral("notes.txt")));
  Copy(media.ClipAvi, tree.Path(QStringLiteral(".j_hidden.avi")));
  Copy(media.ToneWav, tree.Path(QStringLiteral("nested/tone.mkv")));
  Copy(media.ClipAvi, tree.Path(QStringLiteral("nested/deeper/c_clip.AVI")));
  Copy(media.ClipAvi, tree.Path(QStringLiteral(".hidden/d_clip.avi")));
  Copy(media.ClipAvi, tree.Path(QStringLiteral("loose/h_clip.M")));
  Copy(media.ClipAvi, tree.Path(QStringLiteral("loose/i_clip")));
  Copy(media.ClipAvi, tree.Path(QStringLiteral("loose/k_clip.MP")));
  WriteAudioFirstAvi(media.ClipAvi, tree.Path(QStringLiteral("nested/a_audio_first.avi")).toStdString());
  return tree;
}

}  // namespace testing_support
