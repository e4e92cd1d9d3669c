#pragma once
// What the programs' logic asks of the desktop, without naming Qt, so that
// documents and view models run in tests with fakes. platform/ supplies the
// Qt implementations; texts here are UTF-8 (file texts are converted by the
// caller with kv::Cp932ToUtf8).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kv::platform {

enum class MsgIcon { None, Information, Warning, Error, Question };
// OkEscapeCancels: only OK is shown, but Esc (or closing the box) answers
// Cancel, for a message that starts something Esc may still stop.
// YesNoDefaultNo: "いいえ" is the default button (the safe answer).
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, OkEscapeCancels, YesNoDefaultNo };
enum class MsgResult { Ok, Cancel, Yes, No };

class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual MsgResult Show(const std::string& text, MsgIcon icon, MsgButtons buttons) = 0;
};

// Per-user profile of one program, under "Tessaloft" and the program's name.
class Profile {
 public:
  virtual ~Profile() = default;
  virtual std::string GetString(const std::string& section, const std::string& key,
                                const std::string& fallback) = 0;
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
  virtual int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback) = 0;
  virtual bool WriteInt(const std::string& section, const std::string& key, int32_t value) = 0;
};

// Hands a local file or an http/https address to the desktop. Refuses (false)
// a target of 1024 bytes or more, or one that is neither an existing local
// file nor a web address.
class Shell {
 public:
  virtual ~Shell() = default;
  virtual bool Open(const std::string& target) = 0;
};

// The wait cursor for the lifetime of the object. The platform installs the
// real cursor; without it (tests, tools) this does nothing.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

  using Hook = void (*)(bool on);
  static void InstallHook(Hook hook);
};

// Hands work from a worker thread to the interface thread, which runs it
// later from its event loop, in the order handed over. Post may be called
// from any thread.
class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  virtual void Post(std::function<void()> task) = 0;
};

// Everything a program's logic needs from the desktop, handed to documents
// at construction. Tests pass fakes.
struct Services {
  MessageService* messages = nullptr;
  Profile* profile = nullptr;
  Shell* shell = nullptr;
  // Without one, work that could run in the background runs in the call.
  // Shared: a worker still running keeps the queue it posts to alive, whatever
  // order its owners are torn down in.
  std::shared_ptr<Dispatcher> dispatcher = nullptr;
};

}  // namespace kv::platform
