// A notification centre: objects register to be called when a notification of a given name is
// posted, by one sender or by any. Used on the application's main thread only; a post calls its
// observers synchronously, in the order they registered.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bextkit {

inline constexpr std::string_view kOutlineViewSelectionDidChange =
    "NSOutlineViewSelectionDidChangeNotification";
inline constexpr std::string_view kTableViewSelectionDidChange =
    "NSTableViewSelectionDidChangeNotification";

struct Notification {
  std::string_view name;
  const void* sender;
};

class NotificationCenter {
 public:
  using Callback = std::function<void(const Notification&)>;

  // The application's centre; it lives until the program ends.
  static NotificationCenter& defaultCenter();

  // Calls `callback` for each post of `name` by `sender`, or by any sender when `sender` is null,
  // until `observer` is removed. The centre does not own the observer or the sender.
  void addObserver(const void* observer, std::string_view name, const void* sender,
                   Callback callback);
  // Ends every observation `observer` registered; one removed during a post is not called again,
  // not even by that post.
  void removeObserver(const void* observer);
  // Observers added during a post hear the next post, not this one.
  void post(std::string_view name, const void* sender);

 private:
  struct Observation {
    const void* observer;
    std::string name;
    const void* sender;
    Callback callback;
    bool removed = false;
  };
  // Shared so that a post can keep calling the observations it matched, and skip those removed
  // meanwhile, while observers change the list.
  std::vector<std::shared_ptr<Observation>> observations_;
};

}  // namespace bextkit
