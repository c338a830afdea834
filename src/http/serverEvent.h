#pragma once
// The events the server core reports to the application, and the states of
// a connection.

enum TserverEvent {
    SE_SERVER_START,
    SE_SERVER_STOP,
    SE_CONNECTED,
    SE_DISCONNECTED,
    SE_GOT_DATA,
    SE_BYTES_SENT,
    SE_REQUESTING,
    SE_GOT_HEADER,
    SE_REQUEST,
    SE_STREAM_READY,
    SE_REPLIED,
    SE_POST_FILE_START,
    SE_POST_FILE_DATA,
    SE_POST_FILE_END,
    SE_POST_VARS,
    SE_POST_VAR,
    SE_POST_END,
    SE_REQUEST_COMPLETED,
    SE_OPEN_FAILED,
};

enum ThttpConnState {
    HCS_IDLE,
    HCS_REQUESTING,
    HCS_POSTING,
    HCS_REPLYING,
    HCS_REPLYING_HEADER,
    HCS_REPLYING_BODY,
    HCS_DISCONNECTED,
};

// Name of an event ("SE_REQUEST"), for logs and diagnostics.
const char *serverEventName(TserverEvent e);
