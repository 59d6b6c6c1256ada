/*
 * twain.h --
 *
 *	The part of the TWAIN 1.8 interface that twimg and the built-in data
 *	source manager speak: identities, the records of the triplets used,
 *	the codes, and the one entry that takes every triplet.
 */
#ifndef TESK_DEVICES_TWAIN_TWAIN_H
#define TESK_DEVICES_TWAIN_TWAIN_H

#include <cstddef>
#include <cstdint>

typedef uint16_t TW_UINT16;
typedef uint32_t TW_UINT32;
typedef int16_t TW_INT16;
typedef int32_t TW_INT32;
typedef uint16_t TW_BOOL;
typedef void *TW_MEMREF;
typedef void *TW_HANDLE;
typedef char TW_STR32[34];

struct TW_VERSION {
    TW_UINT16 MajorNum, MinorNum;
    TW_UINT16 Language, Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_UINT32 Id; /* given by the manager */
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor, ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer, ProductFamily, ProductName;
};

struct TW_STATUS {
    TW_UINT16 ConditionCode;
    TW_UINT16 Reserved;
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count; /* 0xFFFF: unknown, more to come */
    TW_UINT32 Reserved;
};

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

/* pEvent NULL: a poll of the source (the window system's messages have no
 * counterpart here). */
struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
};

struct TW_IMAGEINFO {
    TW_INT32 XResolution, YResolution; /* dots per inch, whole part */
    TW_INT32 ImageWidth, ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
};

struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize, MaxBufSize, Preferred;
};

/* A native transfer: a packed device-independent bitmap (information
 * header, colour table, rows) in a gmemAlloc'd block. */
struct TeskDib {
    unsigned char *data;
    std::size_t size;
};

enum : TW_UINT32 { DG_CONTROL = 1, DG_IMAGE = 2 };
enum : TW_UINT16 {
    DAT_CAPABILITY = 1,
    DAT_EVENT = 2,
    DAT_IDENTITY = 3,
    DAT_PARENT = 4,
    DAT_PENDINGXFERS = 5,
    DAT_SETUPMEMXFER = 6,
    DAT_STATUS = 8,
    DAT_USERINTERFACE = 9,
    DAT_IMAGEINFO = 0x101,
    DAT_IMAGENATIVEXFER = 0x104,
};
enum : TW_UINT16 {
    MSG_NULL = 0,
    MSG_GET = 1,
    MSG_SET = 6,
    MSG_XFERREADY = 0x101,
    MSG_CLOSEDSREQ = 0x102,
    MSG_CLOSEDSOK = 0x103,
    MSG_OPENDSM = 0x301,
    MSG_CLOSEDSM = 0x302,
    MSG_OPENDS = 0x401,
    MSG_CLOSEDS = 0x402,
    MSG_USERSELECT = 0x403,
    MSG_GETDEFAULT = 0x406,
    MSG_DISABLEDS = 0x501,
    MSG_ENABLEDS = 0x502,
    MSG_ENABLEDSUIONLY = 0x503,
    MSG_PROCESSEVENT = 0x601,
    MSG_ENDXFER = 0x701,
};
enum : TW_UINT16 {
    TWRC_SUCCESS = 0,
    TWRC_FAILURE = 1,
    TWRC_CHECKSTATUS = 2,
    TWRC_CANCEL = 3,
    TWRC_DSEVENT = 4,
    TWRC_NOTDSEVENT = 5,
    TWRC_XFERDONE = 6,
    TWRC_ENDOFLIST = 7,
};
enum : TW_UINT16 {
    TWCC_SUCCESS = 0,
    TWCC_BUMMER = 1,
    TWCC_LOWMEMORY = 2,
    TWCC_NODS = 3,
    TWCC_SEQERROR = 11,
    TWCC_BADCAP = 6,
    TWCC_BADPROTOCOL = 9,
};
enum : TW_UINT16 { TWON_ONEVALUE = 5, TWON_DONTCARE16 = 0xFFFF };
enum : TW_UINT16 { TWTY_UINT32 = 6 };
enum : TW_UINT16 { ICAP_XFERMECH = 0x103 };
enum : TW_UINT16 { TWSX_NATIVE = 0, TWSX_MEMORY = 2 };

/* The window a manager opens under: the interpreter whose env array
 * holds TESK_TWAIN_SIM, and its main window. */
struct TeskTwainParent {
    void *interp;
    void *tkwin;
};

/*
 * teskDsmEntry --
 *	The built-in data source manager: every triplet, from origin to dest
 *	(NULL: the manager itself, else an open source). Answers a TWRC code;
 *	after a failure DAT_STATUS tells the condition.
 */
TW_UINT16 teskDsmEntry(TW_IDENTITY *origin, TW_IDENTITY *dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                       TW_MEMREF data);

#endif /* TESK_DEVICES_TWAIN_TWAIN_H */
