"""Loading the kelo_dll shared library and the typed prototype of every export.

Where the library is taken from, first match wins:
1. the file, or the directory holding it, named by the environment variable
   KELO_DLL_PATH;
2. the package's own directory (a library copied next to the modules);
3. the library directory of the prefix the package was installed into;
4. the system's library search path.
"""
import ctypes
import os
import sys

from . import records

MAJOR_VERSION = 3865
_WINDOWS = sys.platform == "win32"
FILE_NAME = "kelo_dll.dll" if _WINDOWS else f"libkelo_dll.so.{MAJOR_VERSION}"
# A build tree also holds the unversioned development link.
_OTHER_NAMES = () if _WINDOWS else ("libkelo_dll.so",)

# Type codes of the prototype table.
_TYPES = {
    "void": None,
    "i32": ctypes.c_int32,
    "u32": ctypes.c_uint32,
    "u16": ctypes.c_uint16,
    "u8": ctypes.c_uint8,
    "f64": ctypes.c_double,
    "conn": ctypes.c_void_p,        # ScannerConnection*
    "group": ctypes.c_void_p,       # MultipleScanner*
    "record": ctypes.c_void_p,      # a record or byte array the caller owns
    "str": ctypes.c_char_p,         # const char*, NUL-terminated
    "buf": ctypes.c_char_p,         # char* the library writes into
    "i32*": ctypes.POINTER(ctypes.c_int32),
    "u32*": ctypes.POINTER(ctypes.c_uint32),
    "f64*": ctypes.POINTER(ctypes.c_double),
    "info*": ctypes.POINTER(records.ScannerInfo),
    "safearray**": ctypes.POINTER(ctypes.POINTER(records.SafeArray)),
    "handle": ctypes.c_size_t,      # KeloGroupResult: 0 or a member's handle
}

# name: result, then the arguments, in the order of the C declarations.
PROTOTYPES = """
lpOpenConnection                   conn   str
lpOpenConnectionInt                conn   u32
lpOpenConnectionBase               conn   str u32
lpCloseConnection                  i32    conn
lpGetSocket                        i32    conn
lpGetKeloDllMajorVersionNumber     u32
lpGetKeloDllMinorVersionNumber     u32
lpGetNumberOfErrorMessages         i32    conn
lpGetErrorMessage                  str    conn u32
lpGetLastSocketError               i32
lpOpenConnectionPort               conn   str u32 i32
lpGetLastFailure                   i32    conn
lpGetLastFailureDetail             i32    conn

lpSendProfileRequest               i32    conn
lpSendProfileRequestN              i32    conn u32
lpReadProfile                      i32    conn record
lpReadProfileN                     i32    conn record
lpGetProfile                       i32    conn record
lpGetProfileN                      i32    conn u32 record
lpSendMultipleProfileRequest       i32    conn u32
lpReadMultipleProfilesTimeout      i32    conn record u32 i32
lpReadMultipleProfiles             i32    conn record u32
lpReadMultipleLargeProfiles        i32    conn record u32 i32
lpGetMultipleProfiles              i32    conn record u32
lpGetProfileFromAllLasers          i32    conn record u32
lpCleanUpOutstandingRequests       i32    conn
lpGetNumberOfOutstandingRequests   i32    conn
lpWaitForAnswer                    i32    conn i32

lpEnterTimeSyncMode                i32    conn
lpEnterEncoderSyncMode             i32    conn
lpEnterPulseSyncMode               i32    conn
lpExitSyncMode                     i32    conn
lpHaltSyncMode                     i32    conn
lpSetEncoderValue                  i32    conn u16
lpSetEncoderValue32                i32    conn u32
lpStartPulseMaster                 i32    conn i32 u32
lpStopPulses                       i32    conn
lpIsInSyncMode                     i32    conn

lpGetScan                          i32    conn record
lpGetScanN                         i32    conn u32 record
lpGetDiagnosticScan                i32    conn u32 u32 u32 record
lpGetImage                         i32    conn record
lpGetImageN                        i32    conn u32 record
lpGetImageScan                     i32    conn record record
lpGetImageScanN                    i32    conn u32 record record
lpGetDiagnosticImageScan           i32    conn u32 u32 u32 record record
lpGetImagePixel                    u32    record u32 u32

lpOverrideSyncSettings             i32    conn f64 f64 f64 u32 u8 f64 f64 f64 f64 f64 u8 u8
lpOverrideLaserAutoexposure        i32    conn f64 f64 f64 u32 i32 u32 u8
lpOverrideScanWindow               i32    conn f64 f64 f64 f64
lpSetAlternatingExposure           i32    conn u8 i32 i32

lpBeginSendParametersToScanner     i32    conn str
lpEndSendParametersToScanner       i32    conn
lpSendParametersToScanner          i32    conn str
lpBeginSendParameterFileToScanner  i32    conn str
lpSendParameterFileToScanner       i32    conn str
lpGetParameterFileFromScanner      i32    conn str

lpRetrieveCalibrationValues        i32    conn
lpGetLaserCount                    i32    conn
lpGetScanWindow                    i32    conn f64* f64* f64* f64*
lpReadScanWindowN                  i32    conn u32 i32* i32* i32* i32*
lpSendIntrinsicCalibrationN        i32    conn u32 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64
lpSendIntrinsicCalibration         i32    conn f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64 f64
lpSendPositionCalibrationN         i32    conn u32 f64 f64 f64
lpReadPositionCalibrationN         i32    conn u32 f64* f64* f64*
lpReadOldPositionCalibrationsN     i32    conn u32 record u32
lpGetTransformParametersN          i32    conn i32 f64* f64* f64* f64* f64* f64* f64* f64* f64* f64* f64* f64* f64* f64*

lpGetScannerStatusFromScanner      i32    conn
lpGetScannerStatusValue            i32    conn u32 i32*
lpGetStatusDescriptionFromScanner  i32    conn u32 buf u32
lpSendScannerFirmwareUpdate        i32    conn record u32 u32

lpFindAllScanners                  i32    info* u32
lpFindScannerByCableId             i32    u32 info* u32
lpFindScannerBySerialNumber        i32    u32 info* u32
lpFindAllScannersWithAddresses     i32    info* u32* u32
lpFindScannerBySerialNumberWithAddresses  i32  u32 info* u32* u32
lpFindScannerByCableIdWithAddresses       i32  u32 info* u32* u32
lpFindAllScannersVB                i32    safearray**
lpFindScannerByCableIdVB           i32    u32 safearray**
lpFindScannerBySerialNumberVB      i32    u32 safearray**
lpSetCableId                       i32    u32 u32
lpClearCableId                     i32    u32
lpSetStaticIpInt                   i32    u32 u32 u32
lpSetBaseIpInt                     i32    u32 u32 u32
lpSetStaticIpChar                  i32    u32 str str
lpSetBaseIpChar                    i32    u32 str str

lpMultipleScannerCreate                      group
lpMultipleScannerDelete                      void    group
lpMultipleScannerAddConnection               i32     group conn
lpMultipleScannerRemoveConnection            void    group conn
lpMultipleScannerContainsConnection          i32     group conn
lpMultipleScannerClearProfiles               void    group
lpMultipleScannerGetProfileCount             i32     group conn
lpMultipleScannerEnterEncoderSyncMode        handle  group
lpMultipleScannerEnterTimeSyncMode           handle  group
lpMultipleScannerExitSyncMode                handle  group
lpMultipleScannerSendMultipleProfileRequest  handle  group u32
lpMultipleScannerGetMultipleProfiles         handle  group u32
lpMultipleScannerGetMultipleProfilesTimeout  handle  group u32 i32
lpMultipleScannerGetProfile                  record  group conn u32
lpMultipleScannerReadMultipleProfiles        handle  group u32
"""


def prototype_codes():
    """{name: (result code, [argument codes])} of the table above."""
    table = {}
    for line in PROTOTYPES.splitlines():
        words = line.split()
        if words:
            table[words[0]] = (words[1], words[2:])
    return table


class LibraryError(OSError):
    """The shared library could not be found or is not the expected one."""


def _candidates():
    named = os.environ.get("KELO_DLL_PATH")
    if named:
        # An explicit choice is final: no silent fall-back to another copy.
        if os.path.isdir(named):
            return [os.path.join(named, n) for n in (FILE_NAME,) + _OTHER_NAMES], False
        return [named], False
    here = os.path.dirname(os.path.abspath(__file__))
    paths = [os.path.join(here, FILE_NAME)]
    try:
        from ._location import LIBRARY_DIR
        paths.append(os.path.normpath(os.path.join(here, LIBRARY_DIR, FILE_NAME)))
    except ImportError:
        pass
    return paths, True


def _load_file():
    loader = ctypes.WinDLL if _WINDOWS else ctypes.CDLL
    paths, try_system = _candidates()
    for path in paths:
        if os.path.exists(path):
            return loader(path)
    if try_system:
        try:
            return loader(FILE_NAME)
        except OSError:
            pass
    where = ", ".join(paths) + (", the system library path" if try_system else "")
    raise LibraryError(f"cannot find the kelo_dll library {FILE_NAME}: looked in {where}; "
                       f"set KELO_DLL_PATH to the library file or its directory")


def _function(dll, name, argtypes):
    try:
        return getattr(dll, name)
    except AttributeError:
        # The 32-bit DLL keeps one standard-call name decorated.
        size = sum((ctypes.sizeof(t) + 3) // 4 * 4 for t in argtypes)
        return dll[f"_{name}@{size}"]


def _bind(dll):
    functions = {}
    for name, (result, arguments) in prototype_codes().items():
        argtypes = [_TYPES[code] for code in arguments]
        function = _function(dll, name, argtypes)
        function.argtypes = argtypes
        function.restype = _TYPES[result]
        functions[name] = function
    return functions


class _Library:
    """The loaded library; each export is an attribute with its prototype."""

    def __init__(self):
        self._dll = _load_file()
        self.__dict__.update(_bind(self._dll))
        major = self.lpGetKeloDllMajorVersionNumber()
        if major != MAJOR_VERSION:
            raise LibraryError(f"the kelo_dll library found is version {major}, "
                               f"this package needs {MAJOR_VERSION}")
        self.path = self._dll._name


_loaded = None


def library():
    """The library, loaded on first use."""
    global _loaded
    if _loaded is None:
        _loaded = _Library()
    return _loaded
