// The binding in a game's hosts, under Mono with the local ad server.
//   mono HostTest.exe context SERVER_URL RECORD   events and awaits on a single-threaded context of the test's own
//   mono HostTest.exe reload SERVER_URL RECORD    a domain unloaded with a load in flight, then a new one
using System;
using System.Collections.Concurrent;
using System.Net;
using System.Threading;
using System.Threading.Tasks;
using Kestrel;

static class HostTest
{
    const string Placement = "rewarded_video";
    static int failures;

    internal static void Check(bool condition, string what)
    {
        if (!condition) { Console.Error.WriteLine("failed: " + what); Interlocked.Increment(ref failures); }
    }

    internal static T Await<T>(Task<T> task, string what)
    {
        return task.Wait(TimeSpan.FromSeconds(60)) ? task.Result : throw new TimeoutException(what);
    }

    static int Main(string[] args)
    {
        if (args[0] == "context") Context(args[1]); else Reload(args[1]);
        if (failures == 0) Console.WriteLine("C# " + args[0] + " ok");
        return failures == 0 ? 0 : 1;
    }

    static void Context(string url)
    {
        var context = new QueueContext();
        var run = new TaskCompletionSource<Task>();
        context.Post(state => run.SetResult(OnContext(context, url)), null);
        if (!Await(run.Task, "the context's start").Wait(TimeSpan.FromSeconds(120))) throw new TimeoutException("the context's run");
    }

    static async Task OnContext(QueueContext context, string url)
    {
        var elsewhere = new ConcurrentQueue<string>();
        int arrived = 0;
        Action<string> here = what =>
        {
            Interlocked.Increment(ref arrived);
            if (Thread.CurrentThread != context.Thread) elsewhere.Enqueue(what);
        };
        KestrelAds.Diagnostic += (s, e) => here("diagnostic " + e.Message);

        await KestrelAds.InitializeAsync("context-app", IntPtr.Zero, new KestrelConfig { ConfigBaseUrl = url });
        here("the initialisation's continuation");

        // Without a window the SDK refuses the play. Its handler keeps the thread busy
        // while a load goes on: what the load reports meanwhile waits for this thread.
        var play = new AdPlay();
        var failed = new TaskCompletionSource<string>();
        Task<LoadResult> load = null;
        play.Failed += (s, e) =>
        {
            here("play failure");
            int before = Volatile.Read(ref context.Foreign);
            load = KestrelAds.LoadAsync(Placement);
            Check(SpinWait.SpinUntil(() => Volatile.Read(ref context.Foreign) > before, 60000), "the load reported while the thread was busy");
            failed.TrySetResult(e.Message);
        };
        Check(!KestrelAds.Play(Placement, play).Success, "a play without a window");
        Check(await Task.WhenAny(failed.Task, Task.Delay(60000)) == failed.Task, "the play's failure event");
        here("the play's continuation");
        LoadResult loaded = await load;
        here("the load's continuation");
        Check(loaded.Success, "load: " + loaded.Message);
        try { KestrelAds.Play(Placement, null); Check(false, "Play without an AdPlay"); }
        catch (ArgumentNullException e) { Check(e.ParamName == "play", "Play's argument error names " + e.ParamName); }

        Check(elsewhere.IsEmpty, "on another thread: " + string.Join("; ", elsewhere));
        Check(arrived >= 6, "events arrived: " + arrived);
    }

    static void Reload(string url)
    {
        // Diagnostics from this domain keep flowing to the others' listeners while they unload.
        bool stop = false;
        var logger = new Thread(() => { while (!Volatile.Read(ref stop)) { KestrelAds.IsAdPlayable(null); Thread.Sleep(5); } });
        logger.Start();

        foreach (string name in new[] { "first", "second" })
        {
            AppDomain domain = AppDomain.CreateDomain(name);
            var guest = (Guest)domain.CreateInstanceAndUnwrap(typeof(Guest).Assembly.FullName, typeof(Guest).FullName);
            string outcome = guest.Start(url);
            Check(outcome == null, name + " domain: " + outcome);
            // The next /ads answer is held back: the first domain unloads with that load in flight.
            if (name == "first") guest.LoadInFlight(url);
            AppDomain.Unload(domain);
        }
        Volatile.Write(ref stop, true);
        logger.Join();
    }
}

// Runs in a domain of its own: initialises, loads, listens, and says what went wrong, or null.
public sealed class Guest : MarshalByRefObject
{
    int events;

    public string Start(string url)
    {
        KestrelAds.Diagnostic += (s, e) => Interlocked.Increment(ref events);
        var config = new KestrelConfig { ConfigBaseUrl = url };
        var placements = HostTest.Await(KestrelAds.InitializeAsync("reload-app", IntPtr.Zero, config), "init");
        LoadResult loaded = HostTest.Await(KestrelAds.LoadAsync("rewarded_video"), "load");
        if (placements.Count == 0 || !loaded.Success) return "placements " + placements.Count + ", load " + loaded.Message;
        return Volatile.Read(ref events) > 0 ? null : "no diagnostic event";
    }

    public void LoadInFlight(string url)
    {
        new WebClient().UploadString(url + "/_control/fault", "{\"route\":\"ads\",\"mode\":\"delay\",\"delay_ms\":3000,\"count\":1}");
        KestrelAds.LoadAsync("interstitial");
    }
}

// A single-threaded SynchronizationContext: one thread runs what is posted, in order.
sealed class QueueContext : SynchronizationContext
{
    readonly BlockingCollection<Action> queue = new BlockingCollection<Action>();
    public readonly Thread Thread;
    public int Foreign;  // posts from other threads

    public QueueContext()
    {
        Thread = new Thread(() => { SetSynchronizationContext(this); foreach (Action posted in queue.GetConsumingEnumerable()) posted(); });
        Thread.IsBackground = true;
        Thread.Start();
    }

    public override void Post(SendOrPostCallback callback, object state)
    {
        if (Thread.CurrentThread != Thread) Interlocked.Increment(ref Foreign);
        queue.Add(() => callback(state));
    }
}
