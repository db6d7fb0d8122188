// The remote-control command handler: what the viewer does with a text a client puts into the
// remote-control item DDEP. Texts starting with "L" are commands to the viewer; texts starting
// with "P" are the viewer's own notifications and are ignored here. The handler only decides;
// every action goes through RemoteTarget, which the main window implements and tests fake.
//
// Standard C++ only: the local-socket channel that carries the texts is in remote_channel.h.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The command-bar keys a client may press: PLAY PAUSE STOP PREV REW FF NEXT REP1 REPA BMPOUT.
// The system toolbar's keys (OPEN, PLAYLIST, ...) are not among them.
bool IsCommandBarKey(std::string_view key);

// What the handler needs from the main window.
class RemoteTarget {
 public:
  virtual ~RemoteTarget() = default;
  virtual void SetDdeControlled(bool on) = 0;
  // BV_CLOSE: "PCLOSE" into DDEP (to every client), then the link ends.
  virtual void BV_CLOSE() = 0;
  virtual const std::string& CurrentFile() const = 0;
  virtual bool Paused() const = 0;
  virtual void PlayFile() = 0;
  // bLoad(path, ListLoad = true).
  virtual void LoadChart(const std::string& path) = 0;
  // Enables timPlayFile: "PLENGTH <ms>" and play, once the current handler has returned.
  virtual void ArmPlayFileTimer() = 0;
  // The toolbar dispatcher with the command-bar button `key`.
  virtual void PressCommandButton(std::string_view key) = 0;
  // Sets the text of DDEP without sending it to clients (the handler empties it after a key).
  virtual void SetItemText(std::string text) = 0;
  // Editor preview: reload `path` from disk even when it is the chart loaded now, and play it
  // from `measure`.
  virtual void PreviewChart(const std::string& path, int measure) = 0;
  // The desktop hands over a chart for the playlist: append it (a missing or unreadable file is
  // refused with a message and nothing changes).
  virtual void AddToPlaylist(const std::string& path) = 0;
  // The desktop hands over a playlist file: open it as the playlist.
  virtual void OpenPlaylist(const std::string& path) = 0;
};

// The editor-preview command: "LPREVIEW <measure> <path>". It does not start with "LLOAD", so
// load commands keep their meaning.
inline constexpr std::string_view kRemotePreviewPrefix = "LPREVIEW ";

// The texts a second start of the program sends when the desktop opens files with it while a
// player runs: "LADD <path>" appends a chart to the playlist, "LPLAYLIST <path>" opens a .bpl as
// the playlist. They come from the desktop, not from a controlling client, so neither puts the
// player under remote control.
inline constexpr std::string_view kRemoteAddWord = "LADD";
inline constexpr std::string_view kRemotePlaylistWord = "LPLAYLIST";

// False for LADD and LPLAYLIST texts and for texts not starting with "L"; true for every other
// text, which puts the client that sends it in control.
bool TakesRemoteControl(std::string_view text);

// A parsed preview command: the measure is the leading whole number of the word after
// "LPREVIEW" (0 when there is none or it does not fit an int); the path is everything after the
// second blank, blanks included (empty when there is no second blank).
struct RemotePreview {
  int measure = 0;
  std::string path;
};
RemotePreview ParseRemotePreview(std::string_view text);

// A text as a client sends it: the path of "LLOAD <path>", "LADD <path>", "LPLAYLIST <path>" and
// of "LPREVIEW <measure> <path>" is made absolute against the client's current folder
// (AbsolutePath), so that the player, which runs in a folder of its own, finds the chart the client
// meant. Other texts stay as they are.
std::string ResolveRemoteText(std::string_view text);

// The handler, run on every text that DDEP takes:
// 1. A text not starting with "L" (a notification, the empty text): nothing.
// 1a. "LADD <path>": AddToPlaylist(path); "LPLAYLIST <path>": OpenPlaylist(path). The path is
//    everything after the word's blank; the bare word or an empty path does nothing. Done, with
//    DdeControlled and the text left as they were.
// 2. DdeControlled = true.
// 3. Exactly "LCLOSE": BV_CLOSE, DdeControlled = false, then on to the next steps.
// 4. "LPREVIEW <measure> <path>": PreviewChart(path, measure); done (the text stays). A preview
//    without a path previews nothing.
// 5. Starting with "LLOAD": the path is the text after its first blank (the whole text when it
//    has none). The chart loaded now while paused: PlayFile (play resumes). Otherwise LoadChart
//    and ArmPlayFileTimer. Done (the text stays).
// 6. Otherwise the key is the text from its second character: a command-bar key presses that
//    button, any other is ignored; then DDEP is emptied.
void HandleRemoteText(RemoteTarget& target, std::string_view text);

}  // namespace quillon
