#include "app/adding/adding_tree.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <stdexcept>
#include <vector>

#include "fixtures/media_fixtures.h"
#include "media/ff_api.h"

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
  AVFormatContext* in = nullptr;
  Check(FF().avformat_open_input(&in, source.c_str(), nullptr, nullptr), "avformat_open_input");
  AVFormatContext* out = nullptr;
  AVPacket* packet = FF().av_packet_alloc();
  try {
    Check(FF().avformat_find_stream_info(in, nullptr), "avformat_find_stream_info");
    Check(FF().avformat_alloc_output_context2(&out, nullptr, "avi", path.c_str()), "avformat_alloc_output_context2");
    const int count = static_cast<int>(in->nb_streams);
    std::vector<int> map(count);
    for (int k = count - 1; k >= 0; --k) {
      AVStream* st = FF().avformat_new_stream(out, nullptr);
      if (st == nullptr) throw std::runtime_error("avformat_new_stream failed");
      // Parameters go through a codec context: the symbol table has no avcodec_parameters_copy.
      AVCodecContext* codec = FF().avcodec_alloc_context3(nullptr);
      Check(FF().avcodec_parameters_to_context(codec, in->streams[k]->codecpar), "avcodec_parameters_to_context");
      Check(FF().avcodec_parameters_from_context(st->codecpar, codec), "avcodec_parameters_from_context");
      FF().avcodec_free_context(&codec);
      st->codecpar->codec_tag = 0;
      st->time_base = in->streams[k]->time_base;
      map[k] = st->index;
    }
    Check(FF().avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE), "avio_open");
    Check(FF().avformat_write_header(out, nullptr), "avformat_write_header");
    while (FF().av_read_frame(in, packet) >= 0) {
      const int from = packet->stream_index;
      packet->stream_index = map[from];
      FF().av_packet_rescale_ts(packet, in->streams[from]->time_base, out->streams[map[from]]->time_base);
      Check(FF().av_interleaved_write_frame(out, packet), "av_interleaved_write_frame");
    }
    Check(FF().av_write_trailer(out), "av_write_trailer");
  } catch (...) {
    FF().av_packet_free(&packet);
    if (out != nullptr) {
      FF().avio_closep(&out->pb);
      FF().avformat_free_context(out);
    }
    FF().avformat_close_input(&in);
    throw;
  }
  FF().av_packet_free(&packet);
  FF().avio_closep(&out->pb);
  FF().avformat_free_context(out);
  FF().avformat_close_input(&in);
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
