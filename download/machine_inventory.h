// The machine description that analytics events carry, as far as the job feeds it.
#ifndef DOWNLOAD_MACHINE_INVENTORY_H
#define DOWNLOAD_MACHINE_INVENTORY_H

#include <string>

class MachineInventory {
 public:
  virtual ~MachineInventory() = default;
  // The slow WMI part of the inventory; runs on the worker thread.
  virtual void GatherWmiInventory() = 0;
  // The download service client's GUID, carried by later events; called during the client start-up.
  virtual void SetClientGuid(const std::wstring& guid) = 0;
};

#endif
