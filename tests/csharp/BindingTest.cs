// The C# binding under Mono against libKestrelSDK.so and the local ad server.
//   mono BindingTest.exe VERSION SERVER_URL RECORD_FILE   makes the choices, initialises, loads
//   mono BindingTest.exe --read-back                     a second process reads the choices back
using System;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Threading;
using System.Threading.Tasks;
using Kestrel;

static class BindingTest
{
    static int failures;

    static void Check(bool condition, string what)
    {
        if (condition) return;
        Console.Error.WriteLine("failed: " + what);
        failures++;
    }

    static T Await<T>(Task<T> task, string what)
    {
        if (!task.Wait(TimeSpan.FromSeconds(60))) throw new TimeoutException(what);
        return task.Result;
    }

    static int Main(string[] args)
    {
        if (args[0] == "--read-back") return ReadBack();
        string version = args[0], url = args[1], record = args[2];
        Check(KestrelAds.Version == version, "Version is " + KestrelAds.Version);

        // A diagnostic handler that throws, one that counts, and the binding's report of the throw.
        int thrown = 0, starts = 0;
        KestrelAds.CallbackError = e => { if (e is InvalidOperationException) Interlocked.Increment(ref thrown); };
        KestrelAds.Diagnostic += (s, e) => { throw new InvalidOperationException(e.Message); };
        KestrelAds.Diagnostic += (s, e) => { if (e.Message == "Initializing Win32" && e.Level == LogLevel.Info) Interlocked.Increment(ref starts); };

        // Before initialisation: choices are stored, ads are refused, a throwing play handler is survived.
        KestrelAds.CcpaStatus = CcpaStatus.OptedOut;
        KestrelAds.SetGdprConsentStatus(GdprStatus.Denied, "3.1");
        Check(KestrelAds.GdprConsentMessageVersion == "3.1", "version before initialisation");
        Check(KestrelAds.GetMediationToken("") == "", "token before initialisation");
        LoadResult refused = Await(KestrelAds.LoadAsync("rewarded_video"), "refused load");
        Check(!refused.Success, "load before initialisation");
        var play = new AdPlay();
        string failure = null;
        play.Failed += (s, e) => { failure = e.Message; throw new InvalidOperationException("play handler"); };
        KestrelAds.Play("rewarded_video", play);
        Check(!play.Success && failure == play.Message && failure.Contains("initialized"), "refused play: " + failure);
        int thrownBefore = Volatile.Read(ref thrown);
        Check(thrownBefore >= 2, "throwing handlers reported: " + thrownBefore);

        var placements = Await(KestrelAds.InitializeAsync("csharp-app", IntPtr.Zero, new KestrelConfig { ConfigBaseUrl = url }), "init");
        Check(placements.Any(p => p.ReferenceId == "rewarded_video" && p.IsIncentivized), "rewarded_video placement");
        Check(placements.Any(p => p.ReferenceId == "hb_banner" && p.HeaderBidding && p.MaxHbCache > 0), "hb_banner placement");
        Check(Volatile.Read(ref starts) == 1 && Volatile.Read(ref thrown) > thrownBefore, "the SDK went on past the throwing handler");

        // After initialisation.
        KestrelAds.CoppaStatus = true;
        KestrelAds.DisableAshwidTracking = true;
        Check(KestrelAds.GetMediationToken("").Length > 16, "token after initialisation");
        LoadResult loaded = Await(KestrelAds.LoadAsync("rewarded_video"), "load");
        Check(loaded.Success && loaded.PlacementId == "rewarded_video" && loaded.Count >= 1, "load: " + loaded.Message);
        Check(KestrelAds.IsAdPlayable("rewarded_video"), "playable after the load");
        LoadResult unknown = Await(KestrelAds.LoadAsync("no_such_placement"), "unknown load");
        Check(!unknown.Success && unknown.PlacementId == "no_such_placement", "load of an unknown placement");
        string[] ads = File.ReadAllLines(record).Where(l => l.Contains("\"path\":\"/ads\"")).ToArray();
        Check(ads.Any(l => l.Contains("\"rewarded_video\"") && l.Contains("\"opted_out\"")), "the /ads request carries the choices");

        // A second process reads the stored choices back.
        var second = new ProcessStartInfo(Process.GetCurrentProcess().MainModule.FileName,
                                          "\"" + typeof(BindingTest).Assembly.Location + "\" --read-back");
        second.UseShellExecute = false;
        using (Process process = Process.Start(second))
        {
            Check(process.WaitForExit(60000) && process.ExitCode == 0, "the second process read the choices back");
        }
        if (failures == 0) Console.WriteLine("C# binding ok");
        return failures == 0 ? 0 : 1;
    }

    static int ReadBack()
    {
        Check(KestrelAds.CcpaStatus == CcpaStatus.OptedOut, "CCPA read back");
        Check(KestrelAds.GdprConsentStatus == GdprStatus.Denied, "GDPR read back");
        Check(KestrelAds.GdprConsentMessageVersion == "3.1", "GDPR version read back: " + KestrelAds.GdprConsentMessageVersion);
        Check(KestrelAds.CoppaStatus, "COPPA read back");
        Check(KestrelAds.DisableAshwidTracking, "hardware-id opt-out read back");
        return failures == 0 ? 0 : 1;
    }
}
