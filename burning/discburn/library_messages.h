// The message queues of libburn and libisofs: drained into InfoText and searched for the
// failures a job must report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace discburn {

/// Severity ranks of both libraries, lowest first.
namespace severity {
constexpr int Debug = 1, Update = 2, Note = 3, Hint = 4, Warning = 5, Sorry = 6, Mishap = 7, Failure = 8, Fatal = 9,
              Abort = 10;
}

struct TLibraryMessage {
  std::string Text;
  int Rank = 0;
  bool FromIsofs = false;
  int Code = 0;     // the library's message code
  int OsError = 0;  // the system's errno the message came with (libburn), or 0
};

/// libburn's message when the thread of a write has ended (libdax_msgs.h: 0x00020178).
constexpr int WriteThreadEndedCode = 0x00020178;

/// Makes both libraries queue their messages (and print none).
void QueueLibraryMessages();
/// Queues a message of this library's own (FFmpeg's lines about a decoded audio file): it is
/// taken with libburn's and libisofs's. Any thread.
void QueueMessage(TLibraryMessage message);
/// Takes every queued message of both libraries, libburn's first.
std::vector<TLibraryMessage> TakeLibraryMessages();
/// The InfoText level (DB_INFO...DB_HIGH_DEBUG) of a severity rank.
int32_t InfoLevelOf(int rank);
/// libburn refuses to start an operation while the thread of the previous one (for example a
/// cancelled write) is still winding down; it says so with this message.
bool IsStillBusy(const std::vector<TLibraryMessage>& messages);

/// The text of the most severe message of at least `minRank` (the first among equals), or "".
std::string WorstText(const std::vector<TLibraryMessage>& messages, int minRank);
/// Why a job failed: WorstText, and after it the first message of at least `minRank` that
/// carries the system's error, when that is another one. libburn ends a failed write with
/// "Burn run failed" alone; its reason ("... (No space left on device)") came before.
std::string FailureText(const std::vector<TLibraryMessage>& messages, int minRank);

}  // namespace discburn
