// The TWAIN 1.x records and codes, in the standard's packed layout (2-byte packing, as on Linux:
// TW_HANDLE and TW_MEMREF are void*, TW_INT32 and TW_UINT32 are 32-bit int).
//
// This header is shared by the program and the source manager library, so it depends on nothing but the
// language. Members of packed records may sit at odd offsets: read and write them by name or with memcpy,
// never through a pointer or reference to the member.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------------
// Basic types

using TW_INT8 = char;
using TW_INT16 = short;
using TW_INT32 = int;
using TW_UINT8 = unsigned char;
using TW_UINT16 = unsigned short;
using TW_UINT32 = unsigned int;
using TW_BOOL = unsigned short;
using TW_HANDLE = void*;
using TW_MEMREF = void*;

using TW_STR32 = char[34];
using TW_STR64 = char[66];
using TW_STR128 = char[130];
using TW_STR255 = char[256];
using TW_STR1024 = char[1026];
using TW_UNI512 = char16_t[512];

static_assert(sizeof(TW_INT32) == 4 && sizeof(TW_UINT32) == 4, "TW_INT32 and TW_UINT32 are 32-bit");
static_assert(sizeof(TW_HANDLE) == sizeof(void*) && sizeof(TW_MEMREF) == sizeof(void*));

// ---------------------------------------------------------------------------------------------------
// Records

#pragma pack(push, 2)

// A fixed-point number: Whole + Frac / 65536.
struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
};

struct TW_FRAME {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
};

struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

struct TW_STATUS {
    TW_UINT16 ConditionCode;
    TW_UINT16 Reserved;
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

// Followed in memory by NumItems items of the ItemType's size.
struct TW_ENUMERATION {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
};

struct TW_ARRAY {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
};

struct TW_RANGE {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
};

struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
};

struct TW_IMAGELAYOUT {
    TW_FRAME Frame;
    TW_UINT32 DocumentNumber;
    TW_UINT32 PageNumber;
    TW_UINT32 FrameNumber;
};

struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
};

struct TW_MEMORY {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
};

struct TW_ELEMENT8 {
    TW_UINT8 Index;
    TW_UINT8 Channel1;
    TW_UINT8 Channel2;
    TW_UINT8 Channel3;
};

struct TW_PALETTE8 {
    TW_UINT16 NumColors;
    TW_UINT16 PaletteType;
    TW_ELEMENT8 Colors[256];
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    TW_UINT32 Reserved;
};

struct TW_SETUPFILEXFER {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;
};

#pragma pack(pop)

// The layout every party relies on.
static_assert(sizeof(TW_FIX32) == 4);
static_assert(sizeof(TW_FRAME) == 16);
static_assert(sizeof(TW_VERSION) == 42);
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(offsetof(TW_IDENTITY, Version) == 4 && offsetof(TW_IDENTITY, ProtocolMajor) == 46 &&
              offsetof(TW_IDENTITY, SupportedGroups) == 50 && offsetof(TW_IDENTITY, Manufacturer) == 54 &&
              offsetof(TW_IDENTITY, ProductFamily) == 88 && offsetof(TW_IDENTITY, ProductName) == 122);
static_assert(sizeof(TW_USERINTERFACE) == 12 && offsetof(TW_USERINTERFACE, hParent) == 4);
static_assert(sizeof(TW_EVENT) == 10 && offsetof(TW_EVENT, TWMessage) == 8);
static_assert(sizeof(TW_STATUS) == 4);
static_assert(sizeof(TW_CAPABILITY) == 12 && offsetof(TW_CAPABILITY, hContainer) == 4);
static_assert(sizeof(TW_ONEVALUE) == 6);
static_assert(offsetof(TW_ENUMERATION, ItemList) == 14 && offsetof(TW_ENUMERATION, NumItems) == 2 &&
              offsetof(TW_ENUMERATION, CurrentIndex) == 6 && offsetof(TW_ENUMERATION, DefaultIndex) == 10);
static_assert(offsetof(TW_ARRAY, ItemList) == 6);
static_assert(sizeof(TW_RANGE) == 22);
static_assert(sizeof(TW_IMAGEINFO) == 42 && offsetof(TW_IMAGEINFO, ImageWidth) == 8 &&
              offsetof(TW_IMAGEINFO, ImageLength) == 12 && offsetof(TW_IMAGEINFO, BitsPerPixel) == 34 &&
              offsetof(TW_IMAGEINFO, PixelType) == 38);
static_assert(sizeof(TW_IMAGELAYOUT) == 28);
static_assert(sizeof(TW_SETUPMEMXFER) == 12 && offsetof(TW_SETUPMEMXFER, Preferred) == 8);
static_assert(sizeof(TW_MEMORY) == 16 && offsetof(TW_MEMORY, TheMem) == 8);
static_assert(sizeof(TW_IMAGEMEMXFER) == 42 && offsetof(TW_IMAGEMEMXFER, BytesWritten) == 22 &&
              offsetof(TW_IMAGEMEMXFER, Memory) == 26);
static_assert(sizeof(TW_ELEMENT8) == 4);
static_assert(sizeof(TW_PALETTE8) == 1028 && offsetof(TW_PALETTE8, Colors) == 4);
static_assert(sizeof(TW_PENDINGXFERS) == 6 && offsetof(TW_PENDINGXFERS, Reserved) == 2);
static_assert(sizeof(TW_SETUPFILEXFER) == 260 && offsetof(TW_SETUPFILEXFER, Format) == 256);

// The single entry point of the source manager (exported as DSM_Entry).
extern "C" {
using DSMENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                   TW_UINT16 MSG, TW_MEMREF pData);
}

// ---------------------------------------------------------------------------------------------------
// Data groups

constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;
constexpr TW_UINT32 DG_AUDIO = 0x0004;

// Data argument types

constexpr TW_UINT16 DAT_NULL = 0x0000;
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PARENT = 0x0004;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_XFERGROUP = 0x000a;
constexpr TW_UINT16 DAT_CUSTOMDSDATA = 0x000c;
constexpr TW_UINT16 DAT_DEVICEEVENT = 0x000d;
constexpr TW_UINT16 DAT_FILESYSTEM = 0x000e;
constexpr TW_UINT16 DAT_PASSTHRU = 0x000f;
constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;
constexpr TW_UINT16 DAT_CIECOLOR = 0x0106;
constexpr TW_UINT16 DAT_GRAYRESPONSE = 0x0107;
constexpr TW_UINT16 DAT_RGBRESPONSE = 0x0108;
constexpr TW_UINT16 DAT_JPEGCOMPRESSION = 0x0109;
constexpr TW_UINT16 DAT_PALETTE8 = 0x010a;
constexpr TW_UINT16 DAT_EXTIMAGEINFO = 0x010b;

// Messages

constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_QUERYSUPPORT = 0x0008;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
constexpr TW_UINT16 MSG_DEVICEEVENT = 0x0104;
constexpr TW_UINT16 MSG_CHECKSTATUS = 0x0201;
constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_ENABLEDSUIONLY = 0x0503;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;

// Return codes

constexpr TW_UINT16 TWRC_SUCCESS = 0;
constexpr TW_UINT16 TWRC_FAILURE = 1;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
constexpr TW_UINT16 TWRC_CANCEL = 3;
constexpr TW_UINT16 TWRC_DSEVENT = 4;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
constexpr TW_UINT16 TWRC_XFERDONE = 6;
constexpr TW_UINT16 TWRC_ENDOFLIST = 7;
constexpr TW_UINT16 TWRC_INFONOTSUPPORTED = 8;
constexpr TW_UINT16 TWRC_DATANOTAVAILABLE = 9;

// Condition codes

constexpr TW_UINT16 TWCC_SUCCESS = 0;
constexpr TW_UINT16 TWCC_BUMMER = 1;
constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
constexpr TW_UINT16 TWCC_NODS = 3;
constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
constexpr TW_UINT16 TWCC_BADCAP = 6;
constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
constexpr TW_UINT16 TWCC_BADVALUE = 10;
constexpr TW_UINT16 TWCC_SEQERROR = 11;
constexpr TW_UINT16 TWCC_BADDEST = 12;
constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
constexpr TW_UINT16 TWCC_DENIED = 16;
constexpr TW_UINT16 TWCC_FILEEXISTS = 17;
constexpr TW_UINT16 TWCC_FILENOTFOUND = 18;
constexpr TW_UINT16 TWCC_NOTEMPTY = 19;
constexpr TW_UINT16 TWCC_PAPERJAM = 20;
constexpr TW_UINT16 TWCC_PAPERDOUBLEFEED = 21;
constexpr TW_UINT16 TWCC_FILEWRITEERROR = 22;
constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;

// Item types

constexpr TW_UINT16 TWTY_INT8 = 0x0000;
constexpr TW_UINT16 TWTY_INT16 = 0x0001;
constexpr TW_UINT16 TWTY_INT32 = 0x0002;
constexpr TW_UINT16 TWTY_UINT8 = 0x0003;
constexpr TW_UINT16 TWTY_UINT16 = 0x0004;
constexpr TW_UINT16 TWTY_UINT32 = 0x0005;
constexpr TW_UINT16 TWTY_BOOL = 0x0006;
constexpr TW_UINT16 TWTY_FIX32 = 0x0007;
constexpr TW_UINT16 TWTY_FRAME = 0x0008;
constexpr TW_UINT16 TWTY_STR32 = 0x0009;
constexpr TW_UINT16 TWTY_STR64 = 0x000a;
constexpr TW_UINT16 TWTY_STR128 = 0x000b;
constexpr TW_UINT16 TWTY_STR255 = 0x000c;
constexpr TW_UINT16 TWTY_STR1024 = 0x000d;
constexpr TW_UINT16 TWTY_UNI512 = 0x000e;

// Container types

constexpr TW_UINT16 TWON_ARRAY = 3;
constexpr TW_UINT16 TWON_ENUMERATION = 4;
constexpr TW_UINT16 TWON_ONEVALUE = 5;
constexpr TW_UINT16 TWON_RANGE = 6;
constexpr TW_UINT16 TWON_ICONID = 962;
constexpr TW_UINT16 TWON_DSMID = 461;
constexpr TW_UINT16 TWON_DSMCODEID = 63;
constexpr TW_UINT8 TWON_DONTCARE8 = 0xff;
constexpr TW_UINT16 TWON_DONTCARE16 = 0xffff;
constexpr TW_UINT32 TWON_DONTCARE32 = 0xffffffff;

// Memory flags of TW_MEMORY

constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
constexpr TW_UINT32 TWMF_DSMOWNS = 0x0002;
constexpr TW_UINT32 TWMF_DSOWNS = 0x0004;
constexpr TW_UINT32 TWMF_POINTER = 0x0008;
constexpr TW_UINT32 TWMF_HANDLE = 0x0010;

// Pixel types (ICAP_PIXELTYPE)

constexpr TW_INT16 TWPT_BW = 0;
constexpr TW_INT16 TWPT_GRAY = 1;
constexpr TW_INT16 TWPT_RGB = 2;
constexpr TW_INT16 TWPT_PALETTE = 3;
constexpr TW_INT16 TWPT_CMY = 4;
constexpr TW_INT16 TWPT_CMYK = 5;
constexpr TW_INT16 TWPT_YUV = 6;
constexpr TW_INT16 TWPT_YUVK = 7;
constexpr TW_INT16 TWPT_CIEXYZ = 8;

// Units (ICAP_UNITS)

constexpr TW_UINT16 TWUN_INCHES = 0;
constexpr TW_UINT16 TWUN_CENTIMETERS = 1;
constexpr TW_UINT16 TWUN_PICAS = 2;
constexpr TW_UINT16 TWUN_POINTS = 3;
constexpr TW_UINT16 TWUN_TWIPS = 4;
constexpr TW_UINT16 TWUN_PIXELS = 5;

// Pixel flavors (ICAP_PIXELFLAVOR): chocolate means 0 is darkest, vanilla 0 is lightest.

constexpr TW_UINT16 TWPF_CHOCOLATE = 0;
constexpr TW_UINT16 TWPF_VANILLA = 1;

// File formats (ICAP_IMAGEFILEFORMAT)

constexpr TW_UINT16 TWFF_TIFF = 0;
constexpr TW_UINT16 TWFF_PICT = 1;
constexpr TW_UINT16 TWFF_BMP = 2;
constexpr TW_UINT16 TWFF_XBM = 3;
constexpr TW_UINT16 TWFF_JFIF = 4;
constexpr TW_UINT16 TWFF_FPX = 5;
constexpr TW_UINT16 TWFF_TIFFMULTI = 6;
constexpr TW_UINT16 TWFF_PNG = 7;
constexpr TW_UINT16 TWFF_SPIFF = 8;
constexpr TW_UINT16 TWFF_EXIF = 9;

// Palette types (TW_PALETTE8.PaletteType)

constexpr TW_UINT16 TWPA_RGB = 0;
constexpr TW_UINT16 TWPA_GRAY = 1;
constexpr TW_UINT16 TWPA_CMY = 2;

// Transfer mechanisms (ICAP_XFERMECH)

constexpr TW_UINT16 TWSX_NATIVE = 0;
constexpr TW_UINT16 TWSX_FILE = 1;
constexpr TW_UINT16 TWSX_MEMORY = 2;

// Compression (ICAP_COMPRESSION)

constexpr TW_UINT16 TWCP_NONE = 0;

// Capabilities

constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
constexpr TW_UINT16 ICAP_COMPRESSION = 0x0100;
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
constexpr TW_UINT16 ICAP_UNITS = 0x0102;
constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
constexpr TW_UINT16 CAP_AUTHOR = 0x1000;
constexpr TW_UINT16 CAP_CAPTION = 0x1001;
constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
constexpr TW_UINT16 CAP_FEEDERLOADED = 0x1003;
constexpr TW_UINT16 CAP_TIMEDATE = 0x1004;
constexpr TW_UINT16 CAP_SUPPORTEDCAPS = 0x1005;
constexpr TW_UINT16 CAP_EXTENDEDCAPS = 0x1006;
constexpr TW_UINT16 CAP_AUTOFEED = 0x1007;
constexpr TW_UINT16 CAP_CLEARPAGE = 0x1008;
constexpr TW_UINT16 CAP_FEEDPAGE = 0x1009;
constexpr TW_UINT16 CAP_REWINDPAGE = 0x100a;
constexpr TW_UINT16 CAP_INDICATORS = 0x100b;
constexpr TW_UINT16 CAP_SUPPORTEDCAPSEXT = 0x100c;
constexpr TW_UINT16 CAP_PAPERDETECTABLE = 0x100d;
constexpr TW_UINT16 CAP_UICONTROLLABLE = 0x100e;
constexpr TW_UINT16 CAP_DEVICEONLINE = 0x100f;
constexpr TW_UINT16 ICAP_AUTOBRIGHT = 0x1100;
constexpr TW_UINT16 ICAP_BRIGHTNESS = 0x1101;
constexpr TW_UINT16 ICAP_CONTRAST = 0x1103;
constexpr TW_UINT16 ICAP_CUSTHALFTONE = 0x1104;
constexpr TW_UINT16 ICAP_EXPOSURETIME = 0x1105;
constexpr TW_UINT16 ICAP_FILTER = 0x1106;
constexpr TW_UINT16 ICAP_FLASHUSED = 0x1107;
constexpr TW_UINT16 ICAP_GAMMA = 0x1108;
constexpr TW_UINT16 ICAP_HALFTONES = 0x1109;
constexpr TW_UINT16 ICAP_HIGHLIGHT = 0x110a;
constexpr TW_UINT16 ICAP_IMAGEFILEFORMAT = 0x110c;
constexpr TW_UINT16 ICAP_LAMPSTATE = 0x110d;
constexpr TW_UINT16 ICAP_LIGHTSOURCE = 0x110e;
constexpr TW_UINT16 ICAP_ORIENTATION = 0x1110;
constexpr TW_UINT16 ICAP_PHYSICALWIDTH = 0x1111;
constexpr TW_UINT16 ICAP_PHYSICALHEIGHT = 0x1112;
constexpr TW_UINT16 ICAP_SHADOW = 0x1113;
constexpr TW_UINT16 ICAP_FRAMES = 0x1114;
constexpr TW_UINT16 ICAP_XNATIVERESOLUTION = 0x1116;
constexpr TW_UINT16 ICAP_YNATIVERESOLUTION = 0x1117;
constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
constexpr TW_UINT16 ICAP_MAXFRAMES = 0x111a;
constexpr TW_UINT16 ICAP_TILES = 0x111b;
constexpr TW_UINT16 ICAP_BITORDER = 0x111c;
constexpr TW_UINT16 ICAP_CCITTKFACTOR = 0x111d;
constexpr TW_UINT16 ICAP_LIGHTPATH = 0x111e;
constexpr TW_UINT16 ICAP_PIXELFLAVOR = 0x111f;
constexpr TW_UINT16 ICAP_PLANARCHUNKY = 0x1120;
constexpr TW_UINT16 ICAP_ROTATION = 0x1121;
constexpr TW_UINT16 ICAP_SUPPORTEDSIZES = 0x1122;
constexpr TW_UINT16 ICAP_THRESHOLD = 0x1123;
constexpr TW_UINT16 ICAP_XSCALING = 0x1124;
constexpr TW_UINT16 ICAP_YSCALING = 0x1125;
constexpr TW_UINT16 ICAP_BITORDERCODES = 0x1126;
constexpr TW_UINT16 ICAP_PIXELFLAVORCODES = 0x1127;
constexpr TW_UINT16 ICAP_JPEGPIXELTYPE = 0x1128;
constexpr TW_UINT16 ICAP_TIMEFILL = 0x112a;
constexpr TW_UINT16 ICAP_BITDEPTH = 0x112b;

// Languages (TW_VERSION.Language); the full list runs from TWLG_DANISH (0) to TWLG_VIETNAMESE (113).

constexpr TW_INT16 TWLG_USERLOCALE = -1;
constexpr TW_INT16 TWLG_DANISH = 0;
constexpr TW_INT16 TWLG_DUTCH = 1;
constexpr TW_INT16 TWLG_ENGLISH = 2;
constexpr TW_INT16 TWLG_FRENCH_CANADIAN = 3;
constexpr TW_INT16 TWLG_FINNISH = 4;
constexpr TW_INT16 TWLG_FRENCH = 5;
constexpr TW_INT16 TWLG_GERMAN = 6;
constexpr TW_INT16 TWLG_ICELANDIC = 7;
constexpr TW_INT16 TWLG_ITALIAN = 8;
constexpr TW_INT16 TWLG_NORWEGIAN = 9;
constexpr TW_INT16 TWLG_PORTUGUESE = 10;
constexpr TW_INT16 TWLG_SPANISH = 11;
constexpr TW_INT16 TWLG_SWEDISH = 12;
constexpr TW_INT16 TWLG_ENGLISH_USA = 13;
constexpr TW_INT16 TWLG_RUSSIAN = 78;
constexpr TW_INT16 TWLG_VIETNAMESE = 113;

// Countries (TW_VERSION.Country), a few of the standard's list

constexpr TW_UINT16 TWCY_USA = 1;
constexpr TW_UINT16 TWCY_CANADA = 2;
constexpr TW_UINT16 TWCY_RUSSIA = 7;
constexpr TW_UINT16 TWCY_FRANCE = 33;
constexpr TW_UINT16 TWCY_SPAIN = 34;
constexpr TW_UINT16 TWCY_ITALY = 39;
constexpr TW_UINT16 TWCY_BRITAIN = 44;
constexpr TW_UINT16 TWCY_GERMANY = 49;
constexpr TW_UINT16 TWCY_UKRAINE = 380;
