// SPDX-License-Identifier: Apache-2.0
// .NET declarations of kelo_dll: every export, for C# and VB.NET.
//
// The 32-bit Windows DLL uses the standard calling convention (StdCall);
// elsewhere (the 64-bit DLL, the Linux library under Mono or .NET) there is
// one calling convention and the attribute is ignored. The same file serves
// x86, x64 and AnyCPU programs: an AnyCPU program that ships both DLLs as
// x86\kelo_dll.dll and x64\kelo_dll.dll beside it gets the one of its
// process's bitness (see KeloDll's static constructor). Handles (ScannerConnection*,
// MultipleScanner*) and the group results, which carry a member's handle,
// are pointer-sized: IntPtr. Records are packed exactly as in kelo_dll.h.
//
// The reads that fill an array come in two forms: one that passes the
// array's length as the capacity, and one with a capacity of its own,
// which throws ArgumentException when that is larger than the array (the
// library would write past the buffer the marshaller made for it).
//
// Example:
//   IntPtr h = KeloDll.lpOpenConnection("192.168.1.10");
//   if (h == IntPtr.Zero) throw new Exception("no scanner");
//   if (KeloDll.lpSendParametersToScanner(h, "ExposureTime = 100\n") == KeloDll.KELO_ERROR_STATE)
//       for (int i = 0; i < KeloDll.lpGetNumberOfErrorMessages(h); i++)
//           Console.WriteLine(KeloDll.GetErrorMessage(h, (uint)i));
//   var profiles = new ProfileRecord[100];
//   KeloDll.lpEnterTimeSyncMode(h);
//   KeloDll.lpSendMultipleProfileRequest(h, 100);
//   int got = KeloDll.lpReadMultipleProfiles(h, profiles);  // profiles stored, or < 0
//   KeloDll.lpExitSyncMode(h);
//   KeloDll.lpCloseConnection(h);
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Kelo
{
    // One profile: nine header values, the point count, three values per point.
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct ProfileRecord
    {
        public const int MaxPoints = 243;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 9)] public int[] header;
        public int pointCount;
        // Point i is points[3 * i], points[3 * i + 1], points[3 * i + 2].
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = MaxPoints * 3)] public int[] points;
    }

    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct LargeProfileRecord
    {
        public const int MaxPoints = 486;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 9)] public int[] header;
        public int pointCount;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = MaxPoints * 3)] public int[] points;
    }

    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct ScanRecord
    {
        public const int MaxPoints = 8192;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 8)] public int[] header;
        public int pointCount;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = MaxPoints * 3)] public int[] points;
    }

    // About 4 MiB: one byte per pixel, rowLength pixels a row.
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct ImageRecord
    {
        public const int MaxPixels = 2048 * 2048;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 3)] public int[] header;
        public uint rowLength;
        public int header4;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = MaxPixels)] public byte[] pixels;
    }

    // A discovery reply as the scanner sent it; identity tells scanners apart.
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct ScannerInfo
    {
        public uint value1;
        public ushort value2;
        public byte value3;
        public uint value4;
        public uint identity;
        public byte value6;
        public byte value7;
        public uint value8;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 512)] public byte[] block;
    }

    // The same fields naturally aligned (536 bytes): the element of the VB safe arrays.
    [StructLayout(LayoutKind.Sequential, Pack = 4)]
    public struct ScannerInfoVB
    {
        public uint value1;
        public ushort value2;
        public byte value3;
        public uint value4;
        public uint identity;
        public byte value6;
        public byte value7;
        public uint value8;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 512)] public byte[] block;
    }

    [StructLayout(LayoutKind.Sequential, Pack = 1, CharSet = CharSet.Ansi)]
    public struct OldPositionCalibration
    {
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 3)] public double[] position;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string text;
    }

    public static class KeloDll
    {
        // Loaded as kelo_dll.dll on Windows, libkelo_dll.so elsewhere.
        public const string Library = "kelo_dll";
        const CallingConvention Call = CallingConvention.StdCall;
        const CharSet Text = CharSet.Ansi;

        // Where no kelo_dll.dll lies beside the program, the one in x86\ or
        // x64\ of the process's bitness is loaded before the first call; the
        // calls below then bind to it by its name.
        static KeloDll()
        {
            if (Environment.OSVersion.Platform != PlatformID.Win32NT) return;
            string folder = AppDomain.CurrentDomain.BaseDirectory;
            if (System.IO.File.Exists(System.IO.Path.Combine(folder, "kelo_dll.dll"))) return;
            string dll = System.IO.Path.Combine(folder, IntPtr.Size == 8 ? "x64" : "x86", "kelo_dll.dll");
            if (System.IO.File.Exists(dll)) LoadLibraryW(dll);
        }

        [DllImport("kernel32", CharSet = CharSet.Unicode, ExactSpelling = true)]
        static extern IntPtr LoadLibraryW(string path);

        // The scanner's TCP port, where lpOpenConnection connects.
        public const uint KELO_SCANNER_TCP_PORT = 24334;

        public const int KELO_OK = 0;
        public const int KELO_ERROR_IO = -1;
        public const int KELO_ERROR_ARGUMENT = -2;
        public const int KELO_ERROR_NO_PROFILE = -3;
        public const int KELO_ERROR_TIMEOUT = -4;
        public const int KELO_ERROR_STATE = 21;

        public const int KELO_FAILURE_NONE = 0;
        public const int KELO_FAILURE_TIMEOUT = 1;
        public const int KELO_FAILURE_CLOSED = 2;
        public const int KELO_FAILURE_SOCKET = 3;
        public const int KELO_FAILURE_WRONG_TYPE = 4;
        public const int KELO_FAILURE_TOO_LONG = 5;
        public const int KELO_FAILURE_REFUSED = 6;

        // Connection, version, error messages.
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern IntPtr lpOpenConnection(string host);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpOpenConnectionInt(uint address);
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern IntPtr lpOpenConnectionBase(string host, uint offset);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpCloseConnection(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetSocket(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern uint lpGetKeloDllMajorVersionNumber();
        [DllImport(Library, CallingConvention = Call)] public static extern uint lpGetKeloDllMinorVersionNumber();
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetNumberOfErrorMessages(IntPtr connection);
        // The text belongs to the connection: read it with GetErrorMessage, never free it.
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpGetErrorMessage(IntPtr connection, uint index);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetLastSocketError();
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern IntPtr lpOpenConnectionPort(string host, uint port, int connectTimeoutMs);
        // Why the last call on the connection failed: one of the KELO_FAILURE_ values.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetLastFailure(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetLastFailureDetail(IntPtr connection);

        // The array's length, as the capacity of a read into it.
        static uint Length(Array array)
        {
            if (array == null) throw new ArgumentNullException("array", "an array is needed");
            return (uint)array.Length;
        }

        // A capacity the array has room for; else ArgumentException, before any call.
        static uint Fits(Array array, uint capacity, string name)
        {
            if (capacity > Length(array))
                throw new ArgumentException(name + " is " + capacity + ", larger than the array of " + array.Length + " elements", name);
            return capacity;
        }

        static uint Shorter(Array records, Array addresses)
        {
            return Math.Min(Length(records), Length(addresses));
        }

        // The longest text a StringBuilder holds with its terminator; a
        // maxLength larger than that gives ArgumentException.
        static uint TextRoom(StringBuilder text, uint? maxLength)
        {
            if (text == null) throw new ArgumentNullException("text");
            uint room = text.Capacity > 0 ? (uint)text.Capacity - 1 : 0;
            if (maxLength > room)
                throw new ArgumentException("maxLength is " + maxLength + ", but the StringBuilder holds " + room + " characters and the terminator", "maxLength");
            return maxLength ?? room;
        }

        public static string GetErrorMessage(IntPtr connection, uint index)
        {
            IntPtr text = lpGetErrorMessage(connection, index);
            return text == IntPtr.Zero ? null : Marshal.PtrToStringAnsi(text);
        }

        // Profiles.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSendProfileRequest(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSendProfileRequestN(IntPtr connection, uint laser);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadProfile(IntPtr connection, ref ProfileRecord record);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadProfileN(IntPtr connection, ref ProfileRecord record);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetProfile(IntPtr connection, ref ProfileRecord record);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetProfileN(IntPtr connection, uint laser, ref ProfileRecord record);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSendMultipleProfileRequest(IntPtr connection, uint count);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpReadMultipleProfilesTimeout")] static extern int ReadMultipleProfilesTimeout(IntPtr connection, [In, Out] ProfileRecord[] records, uint capacity, int timeoutMs);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpReadMultipleProfiles")] static extern int ReadMultipleProfiles(IntPtr connection, [In, Out] ProfileRecord[] records, uint capacity);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpReadMultipleLargeProfiles")] static extern int ReadMultipleLargeProfiles(IntPtr connection, [In, Out] LargeProfileRecord[] records, uint capacity, int timeoutMs);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpGetMultipleProfiles")] static extern int GetMultipleProfiles(IntPtr connection, [In, Out] ProfileRecord[] records, uint count);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpGetProfileFromAllLasers")] static extern int GetProfileFromAllLasers(IntPtr connection, [In, Out] ProfileRecord[] records, uint capacity);
        public static int lpReadMultipleProfilesTimeout(IntPtr connection, ProfileRecord[] records, int timeoutMs) { return ReadMultipleProfilesTimeout(connection, records, Length(records), timeoutMs); }
        public static int lpReadMultipleProfilesTimeout(IntPtr connection, ProfileRecord[] records, uint capacity, int timeoutMs) { return ReadMultipleProfilesTimeout(connection, records, Fits(records, capacity, "capacity"), timeoutMs); }
        public static int lpReadMultipleProfiles(IntPtr connection, ProfileRecord[] records) { return ReadMultipleProfiles(connection, records, Length(records)); }
        public static int lpReadMultipleProfiles(IntPtr connection, ProfileRecord[] records, uint capacity) { return ReadMultipleProfiles(connection, records, Fits(records, capacity, "capacity")); }
        public static int lpReadMultipleLargeProfiles(IntPtr connection, LargeProfileRecord[] records, int timeoutMs) { return ReadMultipleLargeProfiles(connection, records, Length(records), timeoutMs); }
        public static int lpReadMultipleLargeProfiles(IntPtr connection, LargeProfileRecord[] records, uint capacity, int timeoutMs) { return ReadMultipleLargeProfiles(connection, records, Fits(records, capacity, "capacity"), timeoutMs); }
        // Asks for as many profiles as the array holds (or count) and reads them.
        public static int lpGetMultipleProfiles(IntPtr connection, ProfileRecord[] records) { return GetMultipleProfiles(connection, records, Length(records)); }
        public static int lpGetMultipleProfiles(IntPtr connection, ProfileRecord[] records, uint count) { return GetMultipleProfiles(connection, records, Fits(records, count, "count")); }
        public static int lpGetProfileFromAllLasers(IntPtr connection, ProfileRecord[] records) { return GetProfileFromAllLasers(connection, records, Length(records)); }
        public static int lpGetProfileFromAllLasers(IntPtr connection, ProfileRecord[] records, uint capacity) { return GetProfileFromAllLasers(connection, records, Fits(records, capacity, "capacity")); }
        [DllImport(Library, CallingConvention = Call)] public static extern int lpCleanUpOutstandingRequests(IntPtr connection);
        // Waits for the next answer without reading it: 0 arriving, -4 nothing in time, -1 closed or failed.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpWaitForAnswer(IntPtr connection, int timeoutMs);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetNumberOfOutstandingRequests(IntPtr connection);

        // Scans and images (idle only).
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetScan(IntPtr connection, ref ScanRecord scan);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetScanN(IntPtr connection, uint laser, ref ScanRecord scan);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetDiagnosticScan(IntPtr connection, uint value1, uint value2, uint value3, ref ScanRecord scan);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetImage(IntPtr connection, ref ImageRecord image);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetImageN(IntPtr connection, uint laser, ref ImageRecord image);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetImageScan(IntPtr connection, ref ImageRecord image, ref ScanRecord scan);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetImageScanN(IntPtr connection, uint laser, ref ImageRecord image, ref ScanRecord scan);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetDiagnosticImageScan(IntPtr connection, uint value1, uint value2, uint value3, ref ImageRecord image, ref ScanRecord scan);
        // Takes an image in unmanaged memory (Marshal.AllocHGlobal); a managed
        // ImageRecord is read directly: pixels[row * rowLength + column].
        [DllImport(Library, CallingConvention = Call)] public static extern uint lpGetImagePixel(IntPtr image, uint column, uint row);

        // Sync modes, encoder, pulses.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpEnterTimeSyncMode(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpEnterEncoderSyncMode(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpEnterPulseSyncMode(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpExitSyncMode(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpHaltSyncMode(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSetEncoderValue(IntPtr connection, ushort value);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSetEncoderValue32(IntPtr connection, uint value);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpStartPulseMaster(IntPtr connection, int pulseSetting1, uint pulseSetting2);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpStopPulses(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpIsInSyncMode(IntPtr connection);

        // Run-time overrides.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpOverrideSyncSettings(IntPtr connection, double real1, double real2, double real3, uint int1, byte flag1, double real4, double real5, double real6, double real7, double real8, byte flag2, byte flag3);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpOverrideLaserAutoexposure(IntPtr connection, double real1, double real2, double real3, uint int1, int int2, uint int3, byte flag);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpOverrideScanWindow(IntPtr connection, double real1, double real2, double real3, double real4);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSetAlternatingExposure(IntPtr connection, byte enable, int exposure1, int exposure2);

        // Parameters. The DLL exports Begin under its decorated name only.
        [DllImport(Library, CallingConvention = Call, CharSet = Text, EntryPoint = "_lpBeginSendParametersToScanner@8")]
        static extern int BeginSendParametersDecorated(IntPtr connection, string text);
        [DllImport(Library, CallingConvention = Call, CharSet = Text, EntryPoint = "lpBeginSendParametersToScanner")]
        static extern int BeginSendParametersPlain(IntPtr connection, string text);
        // Both Windows DLLs, 32- and 64-bit, export that name.
        static readonly bool decoratedBegin = Environment.OSVersion.Platform == PlatformID.Win32NT;

        public static int lpBeginSendParametersToScanner(IntPtr connection, string text)
        {
            return decoratedBegin ? BeginSendParametersDecorated(connection, text) : BeginSendParametersPlain(connection, text);
        }

        [DllImport(Library, CallingConvention = Call)] public static extern int lpEndSendParametersToScanner(IntPtr connection);
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern int lpSendParametersToScanner(IntPtr connection, string text);
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern int lpBeginSendParameterFileToScanner(IntPtr connection, string path);
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern int lpSendParameterFileToScanner(IntPtr connection, string path);
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern int lpGetParameterFileFromScanner(IntPtr connection, string path);

        // Calibration.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpRetrieveCalibrationValues(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetLaserCount(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetScanWindow(IntPtr connection, out double out1, out double out2, out double out3, out double out4);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadScanWindowN(IntPtr connection, uint laserIndex, out int out1, out int out2, out int out3, out int out4);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSendIntrinsicCalibrationN(IntPtr connection, uint laserIndex, double p1, double p2, double p3, double p4, double p5, double p6, double p7, double p8, double p9, double p10, double p11, double p12, double p13, double p14);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSendIntrinsicCalibration(IntPtr connection, double p1, double p2, double p3, double p4, double p5, double p6, double p7, double p8, double p9, double p10, double p11, double p12, double p13, double p14);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSendPositionCalibrationN(IntPtr connection, uint laserIndex, double position1, double position2, double position3);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadPositionCalibrationN(IntPtr connection, uint laserIndex, out double position1, out double position2, out double position3);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpReadOldPositionCalibrationsN")] static extern int ReadOldPositionCalibrationsN(IntPtr connection, uint laserIndex, [In, Out] OldPositionCalibration[] entries, uint requestWord);
        // The library takes requestWord for the capacity of entries.
        public static int lpReadOldPositionCalibrationsN(IntPtr connection, uint laserIndex, OldPositionCalibration[] entries) { return ReadOldPositionCalibrationsN(connection, laserIndex, entries, Length(entries)); }
        public static int lpReadOldPositionCalibrationsN(IntPtr connection, uint laserIndex, OldPositionCalibration[] entries, uint requestWord) { return ReadOldPositionCalibrationsN(connection, laserIndex, entries, Fits(entries, requestWord, "requestWord")); }
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetTransformParametersN(IntPtr connection, int laserIndex, out double p1, out double p2, out double p3, out double p4, out double p5, out double p6, out double p7, out double p8, out double p9, out double p10, out double p11, out double p12, out double p13, out double p14);

        // Status and firmware.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetScannerStatusFromScanner(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetScannerStatusValue(IntPtr connection, uint key, out int value);
        [DllImport(Library, CallingConvention = Call, CharSet = Text, EntryPoint = "lpGetStatusDescriptionFromScanner")] static extern int GetStatusDescriptionFromScanner(IntPtr connection, uint id, StringBuilder text, uint maxLength);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpSendScannerFirmwareUpdate")] static extern int SendScannerFirmwareUpdate(IntPtr connection, byte[] image, uint size, uint version);
        // The text and its terminator fit the StringBuilder's capacity.
        public static int lpGetStatusDescriptionFromScanner(IntPtr connection, uint id, StringBuilder text) { return GetStatusDescriptionFromScanner(connection, id, text, TextRoom(text, null)); }
        public static int lpGetStatusDescriptionFromScanner(IntPtr connection, uint id, StringBuilder text, uint maxLength) { return GetStatusDescriptionFromScanner(connection, id, text, TextRoom(text, maxLength)); }
        public static int lpSendScannerFirmwareUpdate(IntPtr connection, byte[] image, uint version) { return SendScannerFirmwareUpdate(connection, image, Length(image), version); }
        public static int lpSendScannerFirmwareUpdate(IntPtr connection, byte[] image, uint size, uint version) { return SendScannerFirmwareUpdate(connection, image, Fits(image, size, "size"), version); }

        // Discovery and network configuration (UDP broadcast, no connection).
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpFindAllScanners")] static extern int FindAllScanners([In, Out] ScannerInfo[] records, uint capacity);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpFindScannerByCableId")] static extern int FindScannerByCableId(uint cableId, [In, Out] ScannerInfo[] records, uint capacity);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpFindScannerBySerialNumber")] static extern int FindScannerBySerialNumber(uint serialNumber, [In, Out] ScannerInfo[] records, uint capacity);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpFindAllScannersWithAddresses")] static extern int FindAllScannersWithAddresses([In, Out] ScannerInfo[] records, [In, Out] uint[] addresses, uint capacity);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpFindScannerBySerialNumberWithAddresses")] static extern int FindScannerBySerialNumberWithAddresses(uint serialNumber, [In, Out] ScannerInfo[] records, [In, Out] uint[] addresses, uint capacity);
        [DllImport(Library, CallingConvention = Call, EntryPoint = "lpFindScannerByCableIdWithAddresses")] static extern int FindScannerByCableIdWithAddresses(uint cableId, [In, Out] ScannerInfo[] records, [In, Out] uint[] addresses, uint capacity);
        public static int lpFindAllScanners(ScannerInfo[] records) { return FindAllScanners(records, Length(records)); }
        public static int lpFindAllScanners(ScannerInfo[] records, uint capacity) { return FindAllScanners(records, Fits(records, capacity, "capacity")); }
        public static int lpFindScannerByCableId(uint cableId, ScannerInfo[] records) { return FindScannerByCableId(cableId, records, Length(records)); }
        public static int lpFindScannerByCableId(uint cableId, ScannerInfo[] records, uint capacity) { return FindScannerByCableId(cableId, records, Fits(records, capacity, "capacity")); }
        public static int lpFindScannerBySerialNumber(uint serialNumber, ScannerInfo[] records) { return FindScannerBySerialNumber(serialNumber, records, Length(records)); }
        public static int lpFindScannerBySerialNumber(uint serialNumber, ScannerInfo[] records, uint capacity) { return FindScannerBySerialNumber(serialNumber, records, Fits(records, capacity, "capacity")); }
        // addresses: where each reply came from, network byte order (as
        // lpOpenConnectionInt takes it). Without a capacity: the shorter array's length.
        public static int lpFindAllScannersWithAddresses(ScannerInfo[] records, uint[] addresses) { return FindAllScannersWithAddresses(records, addresses, Shorter(records, addresses)); }
        public static int lpFindAllScannersWithAddresses(ScannerInfo[] records, uint[] addresses, uint capacity) { return FindAllScannersWithAddresses(records, addresses, Fits(addresses, Fits(records, capacity, "capacity"), "capacity")); }
        public static int lpFindScannerBySerialNumberWithAddresses(uint serialNumber, ScannerInfo[] records, uint[] addresses) { return FindScannerBySerialNumberWithAddresses(serialNumber, records, addresses, Shorter(records, addresses)); }
        public static int lpFindScannerBySerialNumberWithAddresses(uint serialNumber, ScannerInfo[] records, uint[] addresses, uint capacity) { return FindScannerBySerialNumberWithAddresses(serialNumber, records, addresses, Fits(addresses, Fits(records, capacity, "capacity"), "capacity")); }
        public static int lpFindScannerByCableIdWithAddresses(uint cableId, ScannerInfo[] records, uint[] addresses) { return FindScannerByCableIdWithAddresses(cableId, records, addresses, Shorter(records, addresses)); }
        public static int lpFindScannerByCableIdWithAddresses(uint cableId, ScannerInfo[] records, uint[] addresses, uint capacity) { return FindScannerByCableIdWithAddresses(cableId, records, addresses, Fits(addresses, Fits(records, capacity, "capacity"), "capacity")); }
        // For COM callers: array points to a SAFEARRAY* of ScannerInfoVB elements.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindAllScannersVB(ref IntPtr array);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindScannerByCableIdVB(uint cableId, ref IntPtr array);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindScannerBySerialNumberVB(uint serialNumber, ref IntPtr array);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSetCableId(uint serialNumber, uint cableId);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpClearCableId(uint serialNumber);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSetStaticIpInt(uint serialNumber, uint address, uint secondAddress);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSetBaseIpInt(uint serialNumber, uint address, uint secondAddress);
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern int lpSetStaticIpChar(uint serialNumber, string address, string secondAddress);
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern int lpSetBaseIpChar(uint serialNumber, string address, string secondAddress);

        // Groups. The walks give IntPtr.Zero, or the handle of the member that failed.
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerCreate();
        [DllImport(Library, CallingConvention = Call)] public static extern void lpMultipleScannerDelete(IntPtr group);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpMultipleScannerAddConnection(IntPtr group, IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern void lpMultipleScannerRemoveConnection(IntPtr group, IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpMultipleScannerContainsConnection(IntPtr group, IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern void lpMultipleScannerClearProfiles(IntPtr group);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpMultipleScannerGetProfileCount(IntPtr group, IntPtr connection);
        // A ProfileRecord* owned by the group: Marshal.PtrToStructure(result, typeof(ProfileRecord)).
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerGetProfile(IntPtr group, IntPtr connection, uint index);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerEnterEncoderSyncMode(IntPtr group);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerEnterTimeSyncMode(IntPtr group);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerExitSyncMode(IntPtr group);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerSendMultipleProfileRequest(IntPtr group, uint count);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerGetMultipleProfiles(IntPtr group, uint count);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerGetMultipleProfilesTimeout(IntPtr group, uint count, int timeoutMs);
        [DllImport(Library, CallingConvention = Call)] public static extern IntPtr lpMultipleScannerReadMultipleProfiles(IntPtr group, uint count);
    }
}
