// SPDX-License-Identifier: Apache-2.0
// bindings/KeloDll.cs used for real: the records' sizes against C, a
// time-synchronised acquisition of batches, reads whose capacity is the
// array's length or is refused when larger, a rejected parameter upload
// read back through lpGetErrorMessage, and a group result carrying a handle.
//   mono KeloDllTest.exe EMULATOR_ADDRESS POINTS Name=bytes...
using System;
using System.Runtime.InteropServices;
using System.Text;
using Kelo;

static class KeloDllTest
{
    static int failures;

    static void Check(bool ok, string what)
    {
        if (!ok) { failures++; Console.Error.WriteLine("FAILED: " + what); }
    }

    static int Main(string[] args)
    {
        int points = int.Parse(args[1]);
        for (int i = 2; i < args.Length; i++)
        {
            string[] pair = args[i].Split('=');
            Type record = typeof(ProfileRecord).Assembly.GetType("Kelo." + pair[0]);
            Check(record != null && Marshal.SizeOf(record) == int.Parse(pair[1]), "Marshal.SizeOf(" + args[i] + ")");
        }
        Check(KeloDll.lpGetKeloDllMajorVersionNumber().ToString() == Environment.GetEnvironmentVariable("KELO_DLL_MAJOR_VERSION"), "major version");
        IntPtr h = KeloDll.lpOpenConnection(args[0]);
        if (h == IntPtr.Zero) { Console.Error.WriteLine("FAILED: lpOpenConnection " + args[0]); return 1; }

        // A rejected upload: its messages are the connection's, read as text.
        Check(KeloDll.lpSendParametersToScanner(h, "Bogus = 1\nLaserPower = 500\n") == KeloDll.KELO_ERROR_STATE &&
              KeloDll.lpGetNumberOfErrorMessages(h) == 2, "a bad parameter set is rejected with two messages");
        Check(KeloDll.GetErrorMessage(h, 0) == "line 1: unknown parameter Bogus", "first message");
        Check(KeloDll.GetErrorMessage(h, 1) == "line 2: LaserPower must be an integer from 0 to 100", "second message");
        Check(KeloDll.GetErrorMessage(h, 2) == null, "no third message");
        Check(KeloDll.lpBeginSendParametersToScanner(h, "ExposureTime = 1234\n") == KeloDll.KELO_OK &&
              KeloDll.lpEndSendParametersToScanner(h) == KeloDll.KELO_OK &&
              KeloDll.lpGetNumberOfErrorMessages(h) == 0, "a good set is accepted in two steps");

        // Time-synchronised batches, one request kept ahead.
        Check(KeloDll.lpEnterTimeSyncMode(h) == KeloDll.KELO_OK && KeloDll.lpIsInSyncMode(h) == 1, "synchronised");
        var records = new ProfileRecord[100];
        int total = 0;
        Check(KeloDll.lpSendMultipleProfileRequest(h, 100) == KeloDll.KELO_OK, "first request");
        for (int batch = 0; batch < 5; batch++)
        {
            Check(KeloDll.lpSendMultipleProfileRequest(h, 100) == KeloDll.KELO_OK, "request");
            int got = KeloDll.lpReadMultipleProfilesTimeout(h, records, 100, 5000);
            Check(got > 0 && got <= 100, "batch " + batch + " gave " + got);
            for (int i = 0; i < got; i++)
                Check(records[i].pointCount == points && records[i].points.Length == 3 * ProfileRecord.MaxPoints,
                      "profile " + i + " of batch " + batch + " has " + records[i].pointCount + " points");
            total += Math.Max(got, 0);
        }
        // A capacity beyond the array is refused before the library is
        // called: the batch asked for is still owed, and the form without
        // a capacity reads it into the whole array (the rest is dropped).
        Check(KeloDll.lpSendMultipleProfileRequest(h, 100) == KeloDll.KELO_OK, "request for the short array");
        var one = new ProfileRecord[1];
        Func<int>[] oversized = {
            () => KeloDll.lpReadMultipleProfiles(h, one, 2),
            () => KeloDll.lpReadMultipleProfilesTimeout(h, one, 2, 100),
            () => KeloDll.lpReadMultipleLargeProfiles(h, new LargeProfileRecord[1], 2, 100),
            () => KeloDll.lpGetMultipleProfiles(h, one, 2),
            () => KeloDll.lpGetProfileFromAllLasers(h, null, 1),
            () => KeloDll.lpReadOldPositionCalibrationsN(h, 0, new OldPositionCalibration[3], 4),
            () => KeloDll.lpGetStatusDescriptionFromScanner(h, 0, new StringBuilder(8), 8),
            () => KeloDll.lpSendScannerFirmwareUpdate(h, new byte[4], 5, 1),
        };
        for (int i = 0; i < oversized.Length; i++)
        {
            try { oversized[i](); Check(false, "oversized call " + i + " was made"); }
            catch (ArgumentException) { }
        }
        int outstanding = KeloDll.lpGetNumberOfOutstandingRequests(h);
        Check(outstanding == 2, "the refused reads took nothing (" + outstanding + " outstanding)");
        var thirty = new ProfileRecord[30];
        Check(KeloDll.lpReadMultipleProfiles(h, thirty) == 30, "a batch read into an array of 30");
        Check(KeloDll.lpExitSyncMode(h) == KeloDll.KELO_OK && KeloDll.lpGetNumberOfOutstandingRequests(h) == 0,
              "sync mode left with nothing outstanding");

        // A group walk names the idle member by its full pointer-sized handle.
        IntPtr group = KeloDll.lpMultipleScannerCreate();
        Check(KeloDll.lpMultipleScannerAddConnection(group, h) == KeloDll.KELO_OK, "member added");
        Check(KeloDll.lpMultipleScannerGetMultipleProfiles(group, 1) == h, "the idle member's handle");
        KeloDll.lpMultipleScannerDelete(group);

        Check(KeloDll.lpCloseConnection(h) == KeloDll.KELO_OK, "lpCloseConnection");
        Console.WriteLine(".NET bindings: " + total + " profiles, " + failures + " failure(s)");
        return failures == 0 ? 0 : 1;
    }
}
