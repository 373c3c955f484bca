#pragma once

#include <cstdint>

class SlpGwRequestParam;

// One session with the SLP gateway, created by SlpGwFactory::createSlpGw()
// and owned by the caller. Every operation returns a gateway status code
// (SlpGwStatusCode, 0 = success) unless stated otherwise.
//
// The virtual table is part of the library's binary interface: the virtual
// destructor comes first and takes slots 0 (complete-object destructor, never
// called) and 1 (deleting destructor, i.e. `delete`); the operations follow
// in slots 2 to 8 in exactly this order. Never reorder or insert.
class MSlpGw
{
public:
    virtual ~MSlpGw() = default;
    // Opens the session; the parameters must carry the observer (attribute 201).
    virtual int Connect(const SlpGwRequestParam &params) = 0;
    // Ends every transaction silently; called just before delete.
    virtual int close() = 0;
    // Requests a transaction that starts (RequestData) as soon as a network
    // allowed by attribute 102 is available.
    virtual int attachToSend(uint32_t &transactionId, const SlpGwRequestParam &params) = 0;
    // Requests a transaction that starts (RequestData) right away.
    virtual int PrepareToSend(uint32_t &transactionId, const SlpGwRequestParam &params) = 0;
    // Hands over one part of the transaction's data (copied); the part with
    // last = true completes the upload and sends it to the server.
    virtual int SendData(const char *data, uint32_t length, bool last, uint32_t transactionId) = 0;
    // Ends the transaction; no callback for it follows.
    virtual int cancel(uint32_t transactionId) = 0;
    // The connection status bits (SlpGwConnectionStatus).
    virtual uint32_t connectionStatus() = 0;
};
