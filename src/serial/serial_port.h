// One open serial device: configured for the modem, read on a reader thread of its own, written
// from a short-lived writer thread so that the caller never blocks on the line.
#pragma once

#include <cstdint>
#include <string>

namespace telvane {

class SerialPort {
  public:
    // Called on the reader thread with each batch (at most kBufferSize bytes).  A count of 0 means
    // the device hung up or vanished: the owner treats it as loss of the link; nothing follows it.
    // Once Close has been called no batch is delivered, and Close waits for one in progress, so
    // the handler must not wait for the thread that calls Close.  A handler that calls Close
    // itself only stops the port; the owner's Close or the destructor then finishes it.
    using ReceiveHandler = void (*)(const uint8_t* bytes, uint32_t count);

    static constexpr uint32_t kBufferSize = 16384;

    // `name` is a port name such as "COM3", resolved through the serial-device table
    // (platform/serial_devices.h), or a device path such as "/dev/ttyUSB0".  Opens at once; the
    // owner tests IsOpen() afterwards.
    explicit SerialPort(const std::string& name);
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int Open(const std::string& name);  // 1 success, 0 failure
    void Close();                       // safe when already closed
    bool IsOpen() const;
    void SetReceiveHandler(ReceiveHandler handler);
    // Number of bytes accepted: min(length, kBufferSize), or 0 while a write is in progress or
    // the port is closed.  The bytes go out on a writer thread within 10 ms a byte plus 100 ms;
    // what the line has not taken by then, or by Close, is dropped.
    int32_t Write(const uint8_t* bytes, int32_t length);

    // Why the last Open failed, for the user: "no such device /dev/ttyUSB0", "permission denied on
    // /dev/ttyUSB0: the user must be in the dialout group", "the port /dev/ttyUSB0 is in use by
    // gammu (pid 4121)", "cannot configure /dev/ttyUSB0: ...".  Empty after a successful Open.
    // While open the port holds the device's UUCP lock and its exclusive mode, so that programs
    // honouring either stay off the line.
    std::string OpenError() const;

  private:
    struct Impl;
    Impl* impl_;
};

}  // namespace telvane
