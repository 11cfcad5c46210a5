#include "platform/NotificationCenter.h"

#include <utility>

namespace bextkit {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

void NotificationCenter::addObserver(const void* observer, std::string_view name,
                                     const void* sender, Callback callback) {
  observations_.push_back(std::make_shared<Observation>(
      Observation{observer, std::string(name), sender, std::move(callback)}));
}

void NotificationCenter::removeObserver(const void* observer) {
  std::erase_if(observations_, [observer](const std::shared_ptr<Observation>& observation) {
    if (observation->observer != observer) return false;
    observation->removed = true;
    return true;
  });
}

void NotificationCenter::post(std::string_view name, const void* sender) {
  std::vector<std::shared_ptr<Observation>> matched;
  for (const std::shared_ptr<Observation>& observation : observations_) {
    if (observation->name == name &&
        (observation->sender == nullptr || observation->sender == sender)) {
      matched.push_back(observation);
    }
  }
  const Notification notification{name, sender};
  for (const std::shared_ptr<Observation>& observation : matched) {
    if (!observation->removed) observation->callback(notification);
  }
}

}  // namespace bextkit
