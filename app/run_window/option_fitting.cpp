#include "app/run_window/option_fitting.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace app {

namespace {

// One word of the option text and where it stands, so that a change leaves the rest of the text
// as it was. A double-quoted part belongs to its word (-vf "scale=640:480,vflip").
struct TToken {
  QString Text;  // without quotes
  int Start = 0;
  int Length = 0;
};

std::vector<TToken> Tokenize(const QString& text) {
  std::vector<TToken> tokens;
  int i = 0;
  const int n = static_cast<int>(text.size());
  while (i < n) {
    while (i < n && text.at(i).isSpace()) ++i;
    if (i >= n) break;
    TToken token;
    token.Start = i;
    bool quoted = false;
    while (i < n && (quoted || !text.at(i).isSpace())) {
      if (text.at(i) == QLatin1Char('"'))
        quoted = !quoted;
      else
        token.Text += text.at(i);
      ++i;
    }
    token.Length = i - token.Start;
    tokens.push_back(token);
  }
  return tokens;
}

// "32k" 32000, "1.5M" 1500000, "128000" 128000; 0 when it is no number.
int64_t ParseBitRate(const QString& text) {
  QString digits = text;
  double scale = 1;
  if (digits.endsWith(QLatin1Char('k'), Qt::CaseInsensitive)) {
    scale = 1000;
    digits.chop(1);
  } else if (digits.endsWith(QLatin1Char('M'))) {
    scale = 1000000;
    digits.chop(1);
  }
  bool ok = false;
  const double value = digits.toDouble(&ok);
  return ok && value > 0 ? static_cast<int64_t>(value * scale) : 0;
}

// What the text asks for, read as the engine reads it: a later option replaces an earlier one;
// "-target" sets the codecs and rates of its standard where it stands.
struct TRequest {
  QString AudioCodec;
  QString VideoCodec;
  bool NoAudio = false;
  bool NoVideo = false;
  bool TargetSize = false;  // the target sets the frame size
  int Channels = 0;
  int SampleRate = 0;
  int64_t AudioBitRate = 0;
  QString PixelFormat;
  int BitRateToken = -1;  // index of the value of the last "-b:a"
  int ChannelsToken = -1;
  int SampleRateToken = -1;
  int FilterToken = -1;  // index of the value of the last "-vf"
  int SizeToken = -1;    // "-s"
};

TRequest Read(const std::vector<TToken>& tokens) {
  TRequest r;
  const int count = static_cast<int>(tokens.size());
  for (int i = 0; i < count; ++i) {
    const QString& name = tokens[i].Text;
    const bool hasValue = i + 1 < count;
    const QString value = hasValue ? tokens[i + 1].Text : QString();
    if (name == QLatin1String("-an")) {
      r.NoAudio = true;
    } else if (name == QLatin1String("-vn")) {
      r.NoVideo = true;
    } else if (!hasValue) {
      continue;
    } else if (name == QLatin1String("-c:a") || name == QLatin1String("-acodec") ||
               name == QLatin1String("-codec:a")) {
      r.AudioCodec = value;
    } else if (name == QLatin1String("-c:v") || name == QLatin1String("-vcodec") ||
               name == QLatin1String("-codec:v")) {
      r.VideoCodec = value;
    } else if (name == QLatin1String("-ac")) {
      r.Channels = value.toInt();
      r.ChannelsToken = i + 1;
    } else if (name == QLatin1String("-ar")) {
      r.SampleRate = value.toInt();
      r.SampleRateToken = i + 1;
    } else if (name == QLatin1String("-b:a") || name == QLatin1String("-ab")) {
      r.AudioBitRate = ParseBitRate(value);
      r.BitRateToken = i + 1;
    } else if (name == QLatin1String("-pix_fmt")) {
      r.PixelFormat = value;
    } else if (name == QLatin1String("-vf") || name == QLatin1String("-filter:v")) {
      r.FilterToken = i + 1;
    } else if (name == QLatin1String("-s")) {
      r.SizeToken = i + 1;
    } else if (name == QLatin1String("-target")) {
      // The DVD standard takes AC-3 at 48 kHz; the (S)VCD ones MPEG audio at 44.1 kHz in stereo.
      r.TargetSize = true;
      r.SampleRateToken = -1;
      if (value.contains(QLatin1String("dvd"))) {
        r.AudioCodec = QStringLiteral("ac3");
        r.SampleRate = 48000;
      } else if (value.contains(QLatin1String("vcd"))) {
        r.AudioCodec = QStringLiteral("mp2");
        r.SampleRate = 44100;
        r.Channels = 2;
      }
    } else {
      continue;
    }
    if (name != QLatin1String("-an") && name != QLatin1String("-vn")) ++i;
  }
  return r;
}

// One change of the text: replace [Start, Start + Length) by Text (Length 0 inserts).
struct TEdit {
  int Start = 0;
  int Length = 0;
  QString Text;
};

QString Apply(QString text, std::vector<TEdit> edits) {
  // From the back, so the earlier positions stay valid.
  std::stable_sort(edits.begin(), edits.end(), [](const TEdit& a, const TEdit& b) { return a.Start > b.Start; });
  for (const TEdit& e : edits) text.replace(e.Start, e.Length, e.Text);
  return text;
}

// Where a new option goes: before the first codec, rate, filter or stream option, as the main
// window orders them; at the end when there is none.
int InsertPosition(const std::vector<TToken>& tokens, const QString& text) {
  static const QStringList later = {QStringLiteral("-ar"),  QStringLiteral("-r"),      QStringLiteral("-c:a"),
                                    QStringLiteral("-c:v"), QStringLiteral("-target"), QStringLiteral("-vf"),
                                    QStringLiteral("-sn"),  QStringLiteral("-vn")};
  for (const TToken& t : tokens)
    if (later.contains(t.Text)) return t.Start;
  return static_cast<int>(text.size());
}

// An option inserted at position: "-ac 2 " before a word, " -ac 2" at the end of the text.
TEdit Insertion(const QString& text, int position, const QString& option) {
  if (position >= text.size())
    return {position, 0, (text.isEmpty() || text.endsWith(QLatin1Char(' ')) ? QString() : QStringLiteral(" ")) + option};
  return {position, 0, option + QLatin1Char(' ')};
}

// An option with a number: its value replaced where the text has it (valueToken), else the option
// inserted where the main window would write it.
TEdit NumberOption(const QString& text, const std::vector<TToken>& tokens, int valueToken, const char* name,
                   int value) {
  if (valueToken >= 0) return {tokens[valueToken].Start, tokens[valueToken].Length, QString::number(value)};
  const QString option = QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(value);
  return Insertion(text, InsertPosition(tokens, text), option);
}

QString Kilo(int64_t bitRate) { return QString::number(bitRate / 1000) + QLatin1Char('k'); }

QString ChannelsText(int channels) {
  if (channels == 1) return QStringLiteral("mono");
  if (channels == 2) return QStringLiteral("stereo");
  return QStringLiteral("%1 channels").arg(channels);
}

// The bit rate of kAudioBitRatesK nearest to wanted that the encoder takes (a higher one when two
// are as near); 0 when it takes none of them.
int64_t NearestAcceptedBitRate(IEncoderLimits& limits, const QString& codec, int rate, int channels, int64_t wanted) {
  std::vector<int64_t> candidates;
  for (int k : kAudioBitRatesK) candidates.push_back(int64_t(k) * 1000);
  std::stable_sort(candidates.begin(), candidates.end(), [wanted](int64_t a, int64_t b) {
    const int64_t da = std::llabs(a - wanted);
    const int64_t db = std::llabs(b - wanted);
    return da != db ? da < db : a > b;
  });
  for (int64_t candidate : candidates)
    if (limits.AudioAccepts(codec, rate, channels, candidate)) return candidate;
  return 0;
}

}  // namespace

TFittedOptions FitOptionsToSource(const QString& options, const QString& output, const TSourceShape& shape,
                                  IEncoderLimits& limits) {
  TFittedOptions result{options, QString()};
  const std::vector<TToken> tokens = Tokenize(options);
  const TRequest request = Read(tokens);
  std::vector<TEdit> edits;
  QStringList notes;

  // --- Audio: the rate and channels the encoder lists, then the bit rate, then fewer channels
  // when no bit rate fits.
  QString audioCodec = request.AudioCodec;
  if (audioCodec.isEmpty() && !request.NoAudio && shape.Channels > 0) audioCodec = limits.DefaultAudioEncoder(output);
  if (!request.NoAudio && shape.Channels > 0 && !audioCodec.isEmpty() && audioCodec != QLatin1String("copy")) {
    const int asked = request.Channels > 0 ? request.Channels : shape.Channels;
    const bool rateKnown = request.SampleRate > 0 || shape.SampleRate > 0;
    const int askedRate =
        request.SampleRate > 0 ? request.SampleRate : (shape.SampleRate > 0 ? shape.SampleRate : 44100);
    // An encoder that lists its rates or layouts is given the nearest one it lists by the
    // conversion's filters, without a word: the fitting makes that choice itself, so it is named.
    const TAudioInput listed = limits.AudioInput(audioCodec, askedRate, asked);
    const int channels = listed.Channels > 0 ? listed.Channels : asked;
    const int rate = rateKnown && listed.SampleRate > 0 ? listed.SampleRate : askedRate;
    const int64_t wanted = request.AudioBitRate;
    int newChannels = channels;
    int64_t newBitRate = 0;
    if (!limits.AudioAccepts(audioCodec, rate, channels, wanted)) {
      newBitRate = wanted > 0 ? NearestAcceptedBitRate(limits, audioCodec, rate, channels, wanted) : 0;
      if (newBitRate == 0 && channels > 2) {
        newChannels = 2;
        if (wanted > 0)
          newBitRate = limits.AudioAccepts(audioCodec, rate, 2, wanted)
                           ? wanted
                           : NearestAcceptedBitRate(limits, audioCodec, rate, 2, wanted);
        else if (!limits.AudioAccepts(audioCodec, rate, 2, 0))
          newChannels = channels;  // stereo does not help either
      }
    }
    // The rate before the channels where both are inserted at one place: "-ac 2 -ar 48000".
    if (rate != askedRate)
      edits.push_back(NumberOption(options, tokens, request.SampleRateToken, "-ar", rate));
    if (newChannels != asked) {
      edits.push_back(NumberOption(options, tokens, request.ChannelsToken, "-ac", newChannels));
      notes << QStringLiteral("%1 instead of %2 (%3 does not accept %2)")
                   .arg(ChannelsText(newChannels), ChannelsText(asked), audioCodec);
    }
    if (rate != askedRate)
      notes << QStringLiteral("%1 Hz instead of %2 Hz (%3 does not accept %2 Hz)")
                   .arg(rate)
                   .arg(askedRate)
                   .arg(audioCodec);
    if (newBitRate > 0 && newBitRate != wanted && request.BitRateToken >= 0) {
      const TToken& t = tokens[request.BitRateToken];
      edits.push_back({t.Start, t.Length, Kilo(newBitRate)});
      notes << QStringLiteral("audio bit rate %1 instead of %2 (%3 does not accept %2 for %4 at %5 Hz)")
                   .arg(Kilo(newBitRate), Kilo(wanted), audioCodec, ChannelsText(newChannels))
                   .arg(rate);
    }
  }

  // --- Video: an even frame size where the encoder refuses an odd one.
  QString videoCodec = request.VideoCodec;
  if (videoCodec.isEmpty() && !request.NoVideo && shape.Width > 0) videoCodec = limits.DefaultVideoEncoder(output);
  if (!request.NoVideo && !request.TargetSize && shape.Width > 0 && shape.Height > 0 && !videoCodec.isEmpty() &&
      videoCodec != QLatin1String("copy")) {
    static const QRegularExpression scale(QStringLiteral("^scale=(\\d+):(\\d+)"));
    static const QRegularExpression size(QStringLiteral("^(\\d+)x(\\d+)$"));
    int width = shape.Width;
    int height = shape.Height;
    QRegularExpressionMatch scaleMatch;
    if (request.FilterToken >= 0) scaleMatch = scale.match(tokens[request.FilterToken].Text);
    const QRegularExpressionMatch sizeMatch =
        request.SizeToken >= 0 ? size.match(tokens[request.SizeToken].Text) : QRegularExpressionMatch();
    if (scaleMatch.hasMatch()) {
      width = scaleMatch.captured(1).toInt();
      height = scaleMatch.captured(2).toInt();
    } else if (sizeMatch.hasMatch()) {
      width = sizeMatch.captured(1).toInt();
      height = sizeMatch.captured(2).toInt();
    }
    const int evenWidth = std::max(2, width & ~1);
    const int evenHeight = std::max(2, height & ~1);
    if ((evenWidth != width || evenHeight != height) &&
        !limits.VideoAccepts(videoCodec, width, height, request.PixelFormat) &&
        limits.VideoAccepts(videoCodec, evenWidth, evenHeight, request.PixelFormat)) {
      const QString scaleText = QStringLiteral("scale=%1:%2").arg(evenWidth).arg(evenHeight);
      if (sizeMatch.hasMatch() && !scaleMatch.hasMatch()) {
        const TToken& t = tokens[request.SizeToken];
        edits.push_back({t.Start, t.Length, QStringLiteral("%1x%2").arg(evenWidth).arg(evenHeight)});
      } else if (request.FilterToken >= 0) {
        const TToken& t = tokens[request.FilterToken];
        QString chain = t.Text;
        if (scaleMatch.hasMatch())
          chain.replace(0, scaleMatch.capturedLength(), scaleText);
        else
          chain = scaleText + QLatin1Char(',') + chain;
        edits.push_back({t.Start, t.Length, QLatin1Char('"') + chain + QLatin1Char('"')});
      } else {
        // As the main window writes a filter: -vf, a blank, the quoted chain, two blanks.
        int position = static_cast<int>(options.size());
        for (const TToken& t : tokens)
          if (t.Text == QLatin1String("-sn")) position = t.Start;
        if (position >= options.size())
          edits.push_back(Insertion(options, position, QStringLiteral("-vf \"%1\"").arg(scaleText)));
        else
          edits.push_back({position, 0, QStringLiteral("-vf \"%1\"  ").arg(scaleText)});
      }
      notes << QStringLiteral("frame size %1x%2 instead of %3x%4 (%5 does not accept an odd width or height)")
                   .arg(evenWidth)
                   .arg(evenHeight)
                   .arg(width)
                   .arg(height)
                   .arg(videoCodec);
    }
  }

  if (edits.empty()) return result;
  result.Options = Apply(options, edits);
  result.Note = QStringLiteral("Adjusted for this file: ") + notes.join(QStringLiteral("; "));
  return result;
}

}  // namespace app
