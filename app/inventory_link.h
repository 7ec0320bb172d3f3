// The job's view of the machine inventory: the system description that events carry.
#ifndef APP_INVENTORY_LINK_H
#define APP_INVENTORY_LINK_H

#include "download/machine_inventory.h"
#include "telemetry/system_info.h"

class InventoryLink : public MachineInventory {
 public:
  explicit InventoryLink(SystemInfo& system) : system_(system) {}
  void GatherWmiInventory() override { system_.GatherWmiInventory(); }
  void SetClientGuid(const std::wstring& guid) override { system_.SetClientGuid(guid); }

 private:
  SystemInfo& system_;
};

#endif
