#ifndef MODBUSRTU_H
#define MODBUSRTU_H
/*
 * ModbusRTU: the Modbus RTU master library the panel drives the module with.
 *
 * Every operation is one whole transaction (flush, request, reply, checks) on
 * a numbered serial port; every argument is a signed 32-bit integer, buffers
 * are filled from element 0 on. Point numbers start at 1 and go out as
 * protocol address n - 1.
 *
 * Port number n names a line: the environment variable TQ7310_COM<n> when it
 * is set, on every platform, as a serial device's path, "tcp:HOST[:PORT]"
 * (Modbus TCP, port 502 by default; the module address is the unit id) or
 * "rtu-tcp:HOST:PORT" (RTU frames over TCP, as a serial server passes
 * them); else on Windows \\.\COMn, elsewhere /dev/ttyUSB<n-1> when it exists,
 * else /dev/ttyS<n-1>.
 */

#include <stdint.h>

#if defined(_WIN32)
#define MODBUSRTU_API __declspec(dllexport)
/* <windows.h> brings <excpt.h>, which defines exception_code as a macro: a
 * file that included it between this header and a use of the status field
 * below would not compile. Seen first, it renames the field alike in the
 * declaration and in every use. */
#include <excpt.h>
#else
#define MODBUSRTU_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The result of every read and write that did not go through. */
#define MODBUSRTU_FAILED (-8888)

/* Opens port 1..255 at baud code 1, 2, 3 (9600, 19200, 38400) and parity
 * code 0, 1, 2 (none, odd, even), 8 data bits, 1 stop bit. Reopens a port
 * that is already open. Returns 0, or a negative code when the port is not
 * open: -1 bad argument, -2 the device could not be opened. */
MODBUSRTU_API int32_t OpenPort_Modbus(int32_t port, int32_t baud_code, int32_t parity_code);

/* Closes the port; does nothing for a port that is not open. */
MODBUSRTU_API void ClosePort_Modbus(int32_t port);

/* Reads discrete inputs (02) / coils (01) first..first+15 into buffer[0..1],
 * eight points a byte, point `first` in bit 0 of buffer[0]. Returns buffer[0]
 * on success; -8888 on failure, the buffer untouched. */
MODBUSRTU_API int32_t Get_1X_B16(int32_t port, int32_t address, int32_t first, int32_t* buffer);
MODBUSRTU_API int32_t Get_0X_B16(int32_t port, int32_t address, int32_t first, int32_t* buffer);

/* Reads `count` (1..125) input registers (04) / holding registers (03) as
 * unsigned 16-bit values into buffer[0..count-1]. Returns buffer[0] on
 * success; -8888 on failure, the buffer untouched. */
MODBUSRTU_API int32_t Get_3X_UnDX(int32_t port, int32_t address, int32_t first, int32_t count,
                                  int32_t* buffer);
MODBUSRTU_API int32_t Get_4X_UnDX(int32_t port, int32_t address, int32_t first, int32_t count,
                                  int32_t* buffer);

/* Reads `count` (1..62) unsigned 32-bit values from 2 x count input registers
 * (04), the lower-numbered register of each pair holding the high word,
 * stored as int32 (4294967295 reads -1). Returns buffer[0] or -8888. */
MODBUSRTU_API int32_t Get_3X_LUNDX(int32_t port, int32_t address, int32_t first, int32_t count,
                                   int32_t* buffer);

/* Switches one coil on (05, FF00) / off (05, 0000). 0 or -8888. */
MODBUSRTU_API int32_t Set_0X_Bit1(int32_t port, int32_t address, int32_t coil);
MODBUSRTU_API int32_t Rst_0X_Bit1(int32_t port, int32_t address, int32_t coil);

/* Writes one holding register (06). A value outside 0..65535 is refused
 * without sending. 0 or -8888. */
MODBUSRTU_API int32_t Set_4X_D1(int32_t port, int32_t address, int32_t reg, int32_t value);

/* ---- Our own addition: any points, by function code ---- */

/* Reads `count` coils (function 1, count 1..2000) or discrete inputs
 * (function 2, 1..2000) first..first+count-1 into bits[0..count-1], one byte
 * 0 or 1 a point. Returns 0; -8888 on failure, the buffer untouched. */
MODBUSRTU_API int32_t TQ7310_ReadBits(int32_t port, int32_t address, int32_t function,
                                      int32_t first, int32_t count, uint8_t* bits);

/* Reads `count` holding registers (function 3, count 1..125) or input
 * registers (function 4, 1..125) into values[0..count-1]. Returns 0; -8888
 * on failure, the buffer untouched. */
MODBUSRTU_API int32_t TQ7310_ReadRegisters(int32_t port, int32_t address, int32_t function,
                                           int32_t first, int32_t count, uint16_t* values);

/* Writes coils first..first+count-1 (count 1..1968), bits[i] != 0 switching
 * point first+i on: one coil as function 5, more as function 15. 0 or -8888. */
MODBUSRTU_API int32_t TQ7310_WriteCoils(int32_t port, int32_t address, int32_t first, int32_t count,
                                        const uint8_t* bits);

/* Writes holding registers first..first+count-1 (count 1..123): one as
 * function 6, more as function 16. 0 or -8888. */
MODBUSRTU_API int32_t TQ7310_WriteRegisters(int32_t port, int32_t address, int32_t first,
                                            int32_t count, const uint16_t* values);

/* All four refuse without sending, as the operations above do: a port
 * outside 1..255, an address outside 1..247, a function other than those
 * named, a count outside its range, points outside 1..65536, a null buffer. */

/* The bounds of the wait the four below take for their reply to start, in
 * microseconds: 100 ms .. 10 s. */
#define TQ7310_RESPONSE_WAIT_MIN_US 100000
#define TQ7310_RESPONSE_WAIT_MAX_US 10000000

/* The four above, each waiting at most `response_us` for its reply to start
 * instead of the line's own wait, for this one transaction: 0 is the line's
 * own wait, as above; any other value outside TQ7310_RESPONSE_WAIT_MIN_US ..
 * TQ7310_RESPONSE_WAIT_MAX_US is refused without sending, like the other
 * arguments. */
MODBUSRTU_API int32_t TQ7310_ReadBitsWithin(int32_t port, int32_t address, int32_t function,
                                            int32_t first, int32_t count, uint8_t* bits,
                                            int32_t response_us);
MODBUSRTU_API int32_t TQ7310_ReadRegistersWithin(int32_t port, int32_t address, int32_t function,
                                                 int32_t first, int32_t count, uint16_t* values,
                                                 int32_t response_us);
MODBUSRTU_API int32_t TQ7310_WriteCoilsWithin(int32_t port, int32_t address, int32_t first,
                                              int32_t count, const uint8_t* bits,
                                              int32_t response_us);
MODBUSRTU_API int32_t TQ7310_WriteRegistersWithin(int32_t port, int32_t address, int32_t first,
                                                  int32_t count, const uint16_t* values,
                                                  int32_t response_us);

/* ---- Our own addition: what happened on a port ---- */

enum Tq7310Outcome {
    TQ7310_NONE = 0,         /* nothing done on the port yet */
    TQ7310_OK = 1,           /* last operation succeeded */
    TQ7310_NOT_OPEN = 2,     /* the port is not open */
    TQ7310_OPEN_FAILED = 3,  /* the device could not be opened; system_error says why */
    TQ7310_BAD_ARGUMENT = 4, /* refused before sending: bad port, point, count, value or code */
    TQ7310_TIMEOUT = 5,      /* no (complete) reply within the time-out */
    TQ7310_EXCEPTION = 6,    /* exception reply; exception_code holds its code */
    TQ7310_BAD_FRAME = 7,    /* CRC or framing error */
    TQ7310_WRONG_SLAVE = 8,  /* reply from another slave address */
    TQ7310_IO_ERROR = 9,     /* the device went away; system_error says why */
    TQ7310_ECHO = 10,        /* our own request came back: an adapter that echoes what it sends */
    TQ7310_AMBIGUOUS = 11    /* a reply came that an earlier request still unanswered could have
                                produced as well: its values are not taken */
};

/* How long after a request timed out its answer may still come and be taken
 * for the answer to a later request of the same shape: such a reply within
 * this horizon is TQ7310_AMBIGUOUS, never data. */
#define TQ7310_LATE_REPLY_HORIZON_MS 3500

typedef struct Tq7310LinkStatus {
    int32_t outcome;        /* enum Tq7310Outcome, of the port's last operation */
    int32_t system_error;   /* errno for OPEN_FAILED and IO_ERROR, else 0 */
    int32_t exception_code; /* Modbus exception code for EXCEPTION, else 0 */
    int32_t round_trip_us;  /* round trip of the last transaction that got its own answer, or -1 */
    int32_t transactions;   /* transactions attempted since the port was last opened */
    int32_t failures;       /* of which failed */
    int32_t is_open;        /* 1 when the port is open */
    int32_t baud;           /* line settings of the last open: 9600 ... */
    char parity;            /* 'N', 'O' or 'E' */
    char device[255];       /* the device the port number maps to, or its network target as
                               "tcp:HOST:PORT" / "rtu-tcp:HOST:PORT"; NUL-terminated */
    int32_t other_address;  /* WRONG_SLAVE: the address a valid frame came from, else 0 */
    uint32_t maybe_answers; /* AMBIGUOUS: the traffic log's number of the earlier request the
                               reply may answer late, else 0 */
} Tq7310LinkStatus;

/* Fills *status for port 1..255 and returns 0; -1 for another port or a null
 * pointer. Sends nothing. */
MODBUSRTU_API int32_t TQ7310_GetLinkStatus(int32_t port, Tq7310LinkStatus* status);

/* Counts by kind of failure and the round trips, since the port was last
 * opened, like the status's counters. A struct of its own: callers built
 * against a smaller Tq7310LinkStatus pass no more room than it had. */
typedef struct Tq7310LinkCounters {
    int32_t size;          /* set by the caller to sizeof(Tq7310LinkCounters); later versions
                              only append fields and fill no more than this size */
    int32_t transactions;  /* as in the status, taken at the same moment as the rest */
    int32_t failures;      /* as in the status: the sum of the nine kinds below */
    int32_t timeouts;      /* TIMEOUT */
    int32_t bad_frames;    /* BAD_FRAME */
    int32_t exceptions;    /* EXCEPTION */
    int32_t wrong_slaves;  /* WRONG_SLAVE: replies from another address */
    int32_t echoes;        /* ECHO */
    int32_t ambiguous;     /* AMBIGUOUS: replies that may be an earlier request's late answer */
    int32_t io_errors;     /* IO_ERROR */
    int32_t open_failures; /* OPEN_FAILED: the driver's own reopens after the device went away */
    int32_t refused;       /* BAD_ARGUMENT from libmodbus once the request was taken */
    int32_t round_trips;   /* transactions that got their own answer (OK or an exception) */
    int32_t round_trip_min_us;    /* of all of them, -1 before any */
    int32_t round_trip_max_us;    /* of all of them, -1 before any */
    int32_t round_trip_median_us; /* of the latest 1000, the lower middle one; -1 before any */
    int32_t round_trip_p95_us;    /* of the latest 1000, nearest rank; -1 before any */
} Tq7310LinkCounters;

/* Fills *counters for port 1..255 and returns 0; -1 for another port, a null
 * pointer or a size below this version's. Sends nothing. */
MODBUSRTU_API int32_t TQ7310_GetLinkCounters(int32_t port, Tq7310LinkCounters* counters);

/* Whether the adapter on a port hands back the requests it sends, as the port
 * has learned it since it was opened. A single write cannot be told from its
 * echo, so until this is known such a write may end TQ7310_AMBIGUOUS: a
 * caller that can wait for a read to be answered first (the polls) should. */
enum Tq7310Echo {
    TQ7310_ECHO_UNKNOWN = 0, /* not learned yet, or no longer heard after it was */
    TQ7310_ECHO_PRESENT = 1, /* every request so far was handed back */
    TQ7310_ECHO_ABSENT = 2   /* answers came with nothing before them, and no echo ever did */
};

/* enum Tq7310Echo for port 1..255; -1 for another port. Sends nothing. */
MODBUSRTU_API int32_t TQ7310_GetEcho(int32_t port);

/* ---- Our own addition: asking who is at an address ---- */

typedef struct Tq7310Probe {
    int32_t outcome;        /* enum Tq7310Outcome of the first read (holding registers 1..16) */
    int32_t system_error;   /* errno for OPEN_FAILED and IO_ERROR, else 0 */
    int32_t exception_code; /* Modbus exception code of the first read that got one, else 0 */
    int32_t round_trip_us;  /* of the first read when it got a reply, else -1 */
    int32_t fits;           /* 1 when all four blocks of the module's map were read back */
    int32_t inputs;         /* discrete inputs 1..16, input 1 in bit 0 */
    int32_t coils;          /* coils 1..16, coil 1 in bit 0 */
    int32_t input_registers[16];   /* input registers 11..26 */
    int32_t holding_registers[16]; /* holding registers 1..16 */
    int32_t other_address;         /* WRONG_SLAVE: the address a valid frame came from, else 0 */
    int32_t stray_bytes;           /* bytes that were waiting on the line before the first request
                                      (a late reply to the call before), or -1 where not counted */
    int32_t echoed;                /* 1 when the port's adapter hands back every request: its echo
                                      was read before each reply (learnt since the port opened) */
    int32_t failed_outcome;        /* enum Tq7310Outcome of the first block after the first that got
                                      no good reply, else TQ7310_OK */
    int32_t spoilt;                /* 1 when a read got BAD_FRAME whose bytes began with the address
                                      and function asked: a device there answered, and the line spoilt
                                      its reply (another answering at once, noise), else 0 */
} Tq7310Probe;

/* Reads the module's points at `address` on an open port, each read waiting
 * at most `response_us` (1000..1000000) for the first byte of its reply: the
 * holding registers first, and only when they come back the input registers,
 * discrete inputs and coils. Only reads; nothing is written to any device.
 * A late answer is not waited for before the next call, which is why the
 * wait is the caller's to fit to the line. Fills *result and returns 0; -1
 * for another port, address, wait or a null pointer. */
MODBUSRTU_API int32_t TQ7310_ProbeModule(int32_t port, int32_t address, int32_t response_us,
                                         Tq7310Probe* result);

/* ---- Our own addition: the bytes on the line ---- */

/* The longest RTU frame. Over Modbus TCP the bytes are the frame as it went
 * over the network, MBAP header first (transaction id, protocol id, length,
 * unit id) and no CRC; the last bytes of a frame longer than this (a read of
 * 124 or 125 registers) are cut. */
#define TQ7310_TRAFFIC_BYTES 256

enum Tq7310TrafficKind {
    TQ7310_TRAFFIC_EXCHANGE = 0,   /* a request and what came back for it */
    TQ7310_TRAFFIC_LATE = 1,       /* bytes that came after the transaction named by `follows` */
    TQ7310_TRAFFIC_LATE_REPLY = 2, /* a sound frame that could only be the late answer to the
                                      request `follows`; its values are not taken */
    TQ7310_TRAFFIC_ECHO = 3        /* the request `follows`, handed back by an echoing adapter */
};

typedef struct Tq7310Traffic {
    uint32_t sequence;      /* 1, 2, ... per port while the library is loaded */
    int32_t kind;           /* enum Tq7310TrafficKind */
    int64_t wall_ms;        /* wall clock, ms since 1970 UTC: the request went out / the late
                               bytes were read */
    int32_t probe;          /* 1 for a read of TQ7310_ProbeModule */
    int32_t outcome;        /* EXCHANGE: enum Tq7310Outcome */
    int32_t exception_code; /* EXCEPTION: its code */
    int32_t other_address;  /* WRONG_SLAVE: the address the valid frame came from */
    int32_t system_error;   /* IO_ERROR: errno */
    int32_t round_trip_us;  /* EXCHANGE: request sent to reply read, or -1 without a reply */
    int32_t late_us;        /* LATE, LATE_REPLY: read this long after that transaction ended;
                               ECHO: after its request went out; -1 when only found waiting */
    uint32_t follows;       /* LATE, LATE_REPLY, ECHO: the sequence of the transaction they came
                               after, answer or repeat; EXCHANGE with AMBIGUOUS: the earlier
                               request the reply may answer */
    int32_t request_length; /* bytes in request[], CRC included; 0 for LATE */
    int32_t reply_length;   /* bytes in reply[]: every byte read for the request, a frame cut
                               short by a time-out too; 0 when none came */
    uint8_t request[TQ7310_TRAFFIC_BYTES];
    uint8_t reply[TQ7310_TRAFFIC_BYTES];
} Tq7310Traffic;

/* Copies the port's log entries with a sequence number above `after`, oldest
 * first, into records[0..capacity-1] and returns how many; -1 for another
 * port, a null pointer or a negative capacity. *lost (may be null) is set to
 * how many entries after `after` the log no longer holds: it keeps the
 * latest 512 per port. Sends nothing; allocates nothing for the caller. */
MODBUSRTU_API int32_t TQ7310_ReadTraffic(int32_t port, uint32_t after, Tq7310Traffic* records,
                                         int32_t capacity, int32_t* lost);

#ifdef __cplusplus
}
#endif

#endif
