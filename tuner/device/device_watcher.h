// Watches the interface-class folder and tells its owner when a stick folder (one holding both
// pipes) appears or goes. Works whether or not the device root exists yet: until it does, the
// nearest existing parent folder is watched. The callback runs on the watcher's own thread and must
// not stop or destroy the watcher; an owner with a GUI posts the news to its own thread.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "tuner/device/isdbt_dll.h"
#include "tuner/device/usb_pipe.h"

class QUONDA_API CTunerDeviceWatcher {
 public:
  enum class Change { Arrived, Removed };
  using Callback = std::function<void(Change change, const std::string& interfacePath)>;

  // classFolder empty: the default interface-class folder (quonda::InterfaceClassFolder()).
  explicit CTunerDeviceWatcher(Callback callback, std::string classFolder = {});
  ~CTunerDeviceWatcher();
  CTunerDeviceWatcher(const CTunerDeviceWatcher&) = delete;
  CTunerDeviceWatcher& operator=(const CTunerDeviceWatcher&) = delete;

  // Sticks already present are taken as the starting state, not reported. False when inotify is
  // unavailable or there is no usable device root.
  bool Start();
  void Stop();

 private:
  void Run();
  void Rearm();
  void Rescan(bool report);

  Callback m_callback;
  std::string m_classFolder;
  int m_inotify = -1;
  quonda::WakeEvent m_wake;
  std::thread m_thread;
  std::map<std::string, int> m_watches;  // folder -> watch descriptor
  std::set<std::string> m_present;
};
