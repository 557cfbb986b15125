// What the phonebook-read parser fills: the SIM phonebook table implements it.
#pragma once

#include <cstdint>
#include <string>

namespace telvane {

class PhonebookSink {
  public:
    virtual ~PhonebookSink() = default;
    // Number of SIM positions; 0 while the table is not allocated.
    virtual int32_t Capacity() const = 0;
    // Stores an entry read from the SIM at `index` (1-based) with changed 0.  Indexes outside
    // 1..Capacity() are ignored.
    virtual void StoreFromSim(int32_t index, std::u16string name, std::u16string number) = 0;
};

}  // namespace telvane
