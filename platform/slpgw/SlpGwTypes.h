#pragma once

// Values shared by the SLP gateway library and its callers: network usage,
// gateway status codes, connection status bits and request attribute numbers.

// Which networks a transaction may use (request attribute 102).
enum SlpGwNetworkUsage {
    OnlyFree = 1,        // free (WLAN) networks only
    FreeAndHomeNw = 2,   // free networks and the home packet-data network
    ESlpGwNwUsageAny = 3 // any network, roaming included (prepare only)
};

// Gateway status codes: 0 is success; the 22xx codes describe transfer
// failures, the 23xx codes the state of a reply piece.
enum SlpGwStatusCode {
    ESlpGwOk = 0,
    ESlpGwErrGeneral = 2001,
    ESlpGwErrInvalidArguments = 2002,
    ESlpGwErrOutOfMemory = 2003,
    ESlpGwErrNotFound = 2004,
    ESlpGwErrServerNotFound = 2101,
    ESlpGwErrAlreadyConnected = 2102,
    ESlpGwErrUnavailableNw = 2103,
    ESlpGwErrProtocolNotSupported = 2201,
    ESlpGwErrServerPermissionDenied = 2202,
    ESlpGwErrRemoteServerDown = 2203,
    ESlpGwErrNoConnection = 2204,
    ESlpGwErrUserPermissionDenied = 2205,
    ESlpGwErrEarlyDisconnect = 2206,
    ESlpGwErrCanceled = 2207,
    ESlpGwErrConnectionLost = 2208,
    ESlpGwErrBearerChanged = 2209,
    ESlpGwReceiveOngoing = 2301,
    ESlpGwReceiveEndOfMime = 2302,
    ESlpGwReceiveComplete = 2303
};

// Connection status bits reported by connectionStatus() and
// MSlpGwObserver::ConnectionStatusChanged().
enum SlpGwConnectionStatus { ESlpGwConnectionOpen = 1, ESlpGwConnectionFree = 2, ESlpGwConnectionRoaming = 4 };

// Request attribute numbers of SlpGwRequestParam.
enum SlpGwAttribute {
    ESlpGwAttrRequestType = 1,     // string, e.g. "upload"
    ESlpGwAttrDataType = 2,        // string, e.g. "fingerprint"
    ESlpGwAttrProtocolVersion = 3, // string, e.g. "2.0"
    ESlpGwAttrEncoding = 4,        // string, e.g. "binary"
    ESlpGwAttrContentType = 5,     // string, MIME type of the uploaded data
    ESlpGwAttrBufferSize = 101,    // unsigned, largest reply piece wanted
    ESlpGwAttrNetworkUsage = 102,  // unsigned, a SlpGwNetworkUsage value
    ESlpGwAttrObserver = 201       // pointer, the MSlpGwObserver of the caller
};
