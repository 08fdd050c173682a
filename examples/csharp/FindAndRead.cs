// SPDX-License-Identifier: Apache-2.0
// Finds the scanners on the network, opens the first one that answered (or
// the one you name), and reads five batches of 100 profiles in time sync.
// Built with bindings/KeloDll.cs beside it:
//
//   mcs -out:FindAndRead.exe FindAndRead.cs KeloDll.cs
//   FindAndRead.exe              discover, then open the first scanner found
//   FindAndRead.exe HOST[:PORT]  open that scanner
using System;
using Kelo;

static class FindAndRead
{
    const int Batches = 5;
    const uint ProfilesPerBatch = 100;
    const int MostScanners = 16;

    // Why the last call on the connection failed, in words.
    static string FailureText(IntPtr scanner)
    {
        int detail = KeloDll.lpGetLastFailureDetail(scanner);
        switch (KeloDll.lpGetLastFailure(scanner))
        {
            case KeloDll.KELO_FAILURE_TIMEOUT: return "no answer in time";
            case KeloDll.KELO_FAILURE_CLOSED: return "the scanner closed the connection";
            case KeloDll.KELO_FAILURE_SOCKET: return "socket error " + KeloDll.lpGetLastSocketError();
            case KeloDll.KELO_FAILURE_WRONG_TYPE: return "an answer of another type (" + detail + ")";
            case KeloDll.KELO_FAILURE_TOO_LONG: return "an answer too long for its record (" + detail + " bytes)";
            case KeloDll.KELO_FAILURE_REFUSED: return "the call was refused";
            default: return "no failure";
        }
    }

    // Discovers the scanners and opens the first one at the address its
    // reply came from; IntPtr.Zero when none answered.
    static IntPtr OpenFirstFound()
    {
        var found = new ScannerInfo[MostScanners];
        var addresses = new uint[MostScanners];
        int count = KeloDll.lpFindAllScannersWithAddresses(found, addresses);
        if (count < 0)
        {
            Console.Error.WriteLine("discovery failed: socket error " + KeloDll.lpGetLastSocketError());
            return IntPtr.Zero;
        }
        for (int i = 0; i < count; i++)
        {
            // Network byte order: the address's bytes as they lie in memory.
            byte[] a = BitConverter.GetBytes(addresses[i]);
            Console.WriteLine("found scanner {0} at {1}.{2}.{3}.{4}", found[i].identity, a[0], a[1], a[2], a[3]);
        }
        if (count == 0)
        {
            Console.Error.WriteLine("no scanner answered");
            return IntPtr.Zero;
        }
        return KeloDll.lpOpenConnectionInt(addresses[0]);
    }

    // HOST or HOST:PORT.
    static IntPtr OpenNamed(string text)
    {
        int colon = text.LastIndexOf(':');
        uint port = colon < 0 ? KeloDll.KELO_SCANNER_TCP_PORT : uint.Parse(text.Substring(colon + 1));
        string host = colon < 0 ? text : text.Substring(0, colon);
        IntPtr scanner = KeloDll.lpOpenConnectionPort(host, port, 0);
        if (scanner == IntPtr.Zero)
            Console.Error.WriteLine("cannot connect to " + text + ": socket error " + KeloDll.lpGetLastSocketError());
        return scanner;
    }

    // One request is kept ahead of the read, so the scanner always has one
    // to fill while the application handles the last batch.
    static bool ReadBatches(IntPtr scanner, ProfileRecord[] records)
    {
        if (KeloDll.lpSendMultipleProfileRequest(scanner, ProfilesPerBatch) != KeloDll.KELO_OK) return false;
        for (int batch = 1; batch <= Batches; batch++)
        {
            if (batch < Batches && KeloDll.lpSendMultipleProfileRequest(scanner, ProfilesPerBatch) != KeloDll.KELO_OK)
                return false;
            int stored = KeloDll.lpReadMultipleProfiles(scanner, records);
            if (stored < 0)
            {
                Console.Error.WriteLine("batch {0} failed ({1}): {2}", batch, stored, FailureText(scanner));
                return false;
            }
            Console.Write("batch {0}: {1} profiles", batch, stored);
            if (stored > 0 && records[0].pointCount > 0)
            {
                // Point i is points[3 * i] to points[3 * i + 2].
                int middle = 3 * (records[0].pointCount / 2);
                int[] p = records[0].points;
                Console.Write(" of {0} points; middle point of the first ({1}, {2}, {3})",
                              records[0].pointCount, p[middle], p[middle + 1], p[middle + 2]);
            }
            Console.WriteLine();
        }
        return true;
    }

    static int Main(string[] args)
    {
        IntPtr scanner = args.Length > 0 ? OpenNamed(args[0]) : OpenFirstFound();
        if (scanner == IntPtr.Zero) return 1;
        bool ok = KeloDll.lpEnterTimeSyncMode(scanner) == KeloDll.KELO_OK &&
                  ReadBatches(scanner, new ProfileRecord[ProfilesPerBatch]);
        // Leaving sync mode reads and drops the batches still owed.
        if (KeloDll.lpIsInSyncMode(scanner) == 1 && KeloDll.lpExitSyncMode(scanner) != KeloDll.KELO_OK) ok = false;
        KeloDll.lpCloseConnection(scanner);
        return ok ? 0 : 1;
    }
}
