#include "burning/discburn/library_messages.h"

#include <cstring>
#include <mutex>

#include "burning/discburn/burn_libs.h"
#include "burning/discburn/discburn_api.h"

namespace discburn {

namespace {

int RankOf(const char* name) {
  static const struct { const char* Name; int Rank; } table[] = {
      {"DEBUG", severity::Debug},     {"UPDATE", severity::Update},   {"NOTE", severity::Note},
      {"HINT", severity::Hint},       {"WARNING", severity::Warning}, {"SORRY", severity::Sorry},
      // libisofs: a file it could not read (and filled with zeros), among others.
      {"MISHAP", severity::Mishap},
      {"FAILURE", severity::Failure}, {"FATAL", severity::Fatal},     {"ABORT", severity::Abort},
  };
  for (const auto& e : table)
    if (std::strcmp(e.Name, name) == 0) return e.Rank;
  return 0;
}

std::mutex OwnLock;
std::vector<TLibraryMessage> OwnMessages;

}  // namespace

void QueueMessage(TLibraryMessage message) {
  std::lock_guard<std::mutex> lock(OwnLock);
  OwnMessages.push_back(std::move(message));
}

void QueueLibraryMessages() {
  burn_msgs_set_severities(const_cast<char*>("DEBUG"), const_cast<char*>("NEVER"), const_cast<char*>("libdiscburn: "));
  iso_set_msgs_severities(const_cast<char*>("DEBUG"), const_cast<char*>("NEVER"), const_cast<char*>("libdiscburn: "));
}

std::vector<TLibraryMessage> TakeLibraryMessages() {
  std::vector<TLibraryMessage> out;
  int code = 0, osErrno = 0, imageId = 0;
  char text[BURN_MSGS_MESSAGE_LEN > ISO_MSGS_MESSAGE_LEN ? BURN_MSGS_MESSAGE_LEN : ISO_MSGS_MESSAGE_LEN];
  char sev[80];
  while (burn_msgs_obtain(const_cast<char*>("ALL"), &code, text, &osErrno, sev) > 0) {
    TLibraryMessage m{text, RankOf(sev), false, code, osErrno};
    if (osErrno != 0) m.Text += std::string(" (") + std::strerror(osErrno) + ")";
    out.push_back(std::move(m));
  }
  while (iso_obtain_msgs(const_cast<char*>("ALL"), &code, &imageId, text, sev) > 0)
    out.push_back(TLibraryMessage{text, RankOf(sev), true, code});
  std::lock_guard<std::mutex> lock(OwnLock);
  for (auto& m : OwnMessages) out.push_back(std::move(m));
  OwnMessages.clear();
  return out;
}

int32_t InfoLevelOf(int rank) {
  if (rank >= severity::Note) return DB_INFO;
  if (rank == severity::Update) return DB_LOW_DEBUG;
  if (rank == severity::Debug) return DB_MEDIUM_DEBUG;
  return DB_HIGH_DEBUG;
}

bool IsStillBusy(const std::vector<TLibraryMessage>& messages) {
  for (const auto& m : messages)
    if (!m.FromIsofs && m.Text.find("drive operation is still going on") != std::string::npos) return true;
  return false;
}

std::string WorstText(const std::vector<TLibraryMessage>& messages, int minRank) {
  const TLibraryMessage* worst = nullptr;
  for (const auto& m : messages)
    if (m.Rank >= minRank && (!worst || m.Rank > worst->Rank)) worst = &m;
  return worst ? worst->Text : std::string();
}

std::string FailureText(const std::vector<TLibraryMessage>& messages, int minRank) {
  const std::string worst = WorstText(messages, minRank);
  if (worst.empty()) return worst;
  for (const auto& m : messages)
    if (m.Rank >= minRank && m.OsError != 0) return m.Text == worst ? worst : worst + ": " + m.Text;
  return worst;
}

}  // namespace discburn
