#pragma once
// The hook for a status display of a port: the port asks it to update itself before each event
// dispatch, and forgets it when it is destroyed. No concrete display belongs to this system.
// Main thread only.
#include <algorithm>
#include <vector>

namespace kestova {

class TSerialCustomComm;

class TSerialDisplay {
 public:
  TSerialDisplay() = default;
  TSerialDisplay(const TSerialDisplay&) = delete;
  TSerialDisplay& operator=(const TSerialDisplay&) = delete;
  virtual ~TSerialDisplay();

  virtual void UpdateDisplay(TSerialCustomComm& port) = 0;

 private:
  friend class TSerialCustomComm;
  void AddWatcher(TSerialCustomComm* port) { FWatchers.push_back(port); }
  void RemoveWatcher(TSerialCustomComm* port) { std::erase(FWatchers, port); }
  std::vector<TSerialCustomComm*> FWatchers;  // the ports showing on this display; not owned
};

}  // namespace kestova
