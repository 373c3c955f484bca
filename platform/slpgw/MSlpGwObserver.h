#pragma once

#include <cstdint>

// Callbacks of the SLP gateway library. The library calls them on the thread
// that runs the event loop; the data pointers are valid only during the call.
// The order of the virtual functions is part of the library's binary
// interface and must not change.
class MSlpGwObserver
{
public:
    // The transaction may now hand over its data with MSlpGw::SendData().
    virtual void RequestData(uint32_t transactionId) = 0;
    // One piece of the server's reply; status is ESlpGwReceiveOngoing for
    // every piece but the last, which carries ESlpGwReceiveComplete.
    virtual void ReceiveData(const char *data, uint32_t length, uint32_t transactionId, int status) = 0;
    // The connection status bits (SlpGwConnectionStatus) changed.
    virtual void ConnectionStatusChanged(uint32_t status) = 0;
    // The transaction failed with a gateway code; it is over.
    virtual void ErrorCallback(int status, uint32_t transactionId) = 0;
    virtual ~MSlpGwObserver() = default;
};
