// The modem's message listing as the message store reads it to rebuild the Inbox.
#pragma once

#include <cstdint>

#include "codec/sms_record.h"

namespace telvane {

class MessageListing {
  public:
    virtual ~MessageListing() = default;
    // Number of listed messages; 0 when nothing was listed.
    virtual int32_t ListingSize() const = 0;
    // A copy of the message at `position`; an empty record with index -1 when out of range.
    virtual SmsRecord ListingEntry(int32_t position) const = 0;
};

}  // namespace telvane
