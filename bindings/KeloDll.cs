// .NET declarations of kelo_dll: every export, for C# and VB.NET.
//
// The 32-bit Windows DLL uses the standard calling convention (StdCall);
// elsewhere (the Linux library under Mono or .NET) there is one calling
// convention and the attribute is ignored. Handles (ScannerConnection*,
// MultipleScanner*) and the group results, which carry a member's handle,
// are pointer-sized: IntPtr. Records are packed exactly as in kelo_dll.h.
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
//   int got = KeloDll.lpReadMultipleProfiles(h, profiles, 100);  // profiles stored, or < 0
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
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadMultipleProfilesTimeout(IntPtr connection, [In, Out] ProfileRecord[] records, uint capacity, int timeoutMs);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadMultipleProfiles(IntPtr connection, [In, Out] ProfileRecord[] records, uint capacity);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadMultipleLargeProfiles(IntPtr connection, [In, Out] LargeProfileRecord[] records, uint capacity, int timeoutMs);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetMultipleProfiles(IntPtr connection, [In, Out] ProfileRecord[] records, uint count);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetProfileFromAllLasers(IntPtr connection, [In, Out] ProfileRecord[] records, uint capacity);
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
        static readonly bool decoratedBegin = Environment.OSVersion.Platform == PlatformID.Win32NT && IntPtr.Size == 4;

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
        [DllImport(Library, CallingConvention = Call)] public static extern int lpReadOldPositionCalibrationsN(IntPtr connection, uint laserIndex, [In, Out] OldPositionCalibration[] entries, uint requestWord);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetTransformParametersN(IntPtr connection, int laserIndex, out double p1, out double p2, out double p3, out double p4, out double p5, out double p6, out double p7, out double p8, out double p9, out double p10, out double p11, out double p12, out double p13, out double p14);

        // Status and firmware.
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetScannerStatusFromScanner(IntPtr connection);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpGetScannerStatusValue(IntPtr connection, uint key, out int value);
        // text needs a capacity of maxLength + 1.
        [DllImport(Library, CallingConvention = Call, CharSet = Text)] public static extern int lpGetStatusDescriptionFromScanner(IntPtr connection, uint id, StringBuilder text, uint maxLength);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpSendScannerFirmwareUpdate(IntPtr connection, byte[] image, uint size, uint version);

        // Discovery and network configuration (UDP broadcast, no connection).
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindAllScanners([In, Out] ScannerInfo[] records, uint capacity);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindScannerByCableId(uint cableId, [In, Out] ScannerInfo[] records, uint capacity);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindScannerBySerialNumber(uint serialNumber, [In, Out] ScannerInfo[] records, uint capacity);
        // addresses: where each reply came from, network byte order (as lpOpenConnectionInt takes it).
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindAllScannersWithAddresses([In, Out] ScannerInfo[] records, [In, Out] uint[] addresses, uint capacity);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindScannerBySerialNumberWithAddresses(uint serialNumber, [In, Out] ScannerInfo[] records, [In, Out] uint[] addresses, uint capacity);
        [DllImport(Library, CallingConvention = Call)] public static extern int lpFindScannerByCableIdWithAddresses(uint cableId, [In, Out] ScannerInfo[] records, [In, Out] uint[] addresses, uint capacity);
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
