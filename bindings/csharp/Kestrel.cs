// Kestrel SDK for C# (.NET, Mono, Unity): P/Invoke over the C interface, kestrel/kestrel.h.
//
// The native library is named "KestrelSDK": libKestrelSDK.so on Linux, found
// beside the program or the binding's assembly or through LD_LIBRARY_PATH. On
// Windows the DLL is KestrelSDK.Win32.dll: .NET 6 and later are pointed to it
// here; Mono maps the name with Kestrel.dll.config beside Kestrel.dll; Unity
// imports it by its own name in the Windows editor and player.
//
// Callbacks reach static methods (as ahead-of-time compiled runtimes require);
// each call's state travels in user_data as a GCHandle, freed on the SDK's last
// call for it or when the domain unloads. Events and task results are handed
// to EventContext.
using System;
using System.Collections.Generic;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using System.Threading.Tasks;

namespace Kestrel
{
    // Marks callbacks for Mono's and Unity's ahead-of-time compilers; they match it by name.
    [AttributeUsage(AttributeTargets.Method)]
    internal sealed class MonoPInvokeCallbackAttribute : Attribute
    {
        public MonoPInvokeCallbackAttribute(Type type) { }
    }

    public enum GdprStatus { Accepted = 1, Denied = 2 }
    public enum CcpaStatus { OptedIn = 1, OptedOut = 2 }
    public enum LogLevel { Trace, Debug, Info, Warn, Error, Fatal }

    public sealed class KestrelException : Exception
    {
        public int Result { get; }
        public KestrelException(string message, int result) : base(message) { Result = result; }
    }

    public sealed class Placement
    {
        public string ReferenceId;
        public bool IsAutoCached, IsIncentivized, HeaderBidding;
        public int MaxHbCache;
    }

    public sealed class KestrelConfig
    {
        public string ConfigBaseUrl;  // null: the ad network's
        public bool? CoppaStatus;
        public CcpaStatus? CcpaStatus;
        public bool? DisableAshwidTracking;
        public LogLevel MinimumLogLevel = LogLevel.Trace;  // events below it are dropped everywhere
        public bool LogToConsole = true;  // false: nothing on standard output or error; Diagnostic still hears all
    }

    public sealed class LoadResult
    {
        public bool Success;
        public string PlacementId, Message;
        public int Count;  // the placement's number of playable ads
    }

    public sealed class PlayEventArgs : EventArgs
    {
        public string PlacementId, Message, EventId, ExceptionMessage;
    }

    // One play's events, raised on KestrelAds.EventContext; subscribe before calling KestrelAds.Play.
    public sealed class AdPlay
    {
        public event EventHandler<PlayEventArgs> Started, Ended, Clicked, Rewarded, Failed;
        public bool Success { get; internal set; }
        public string Message { get; internal set; }
        public string EventId { get; internal set; }
        public string CreativeId { get; internal set; }
        public string CampaignId { get; internal set; }

        internal void Raise(int kind, PlayEventArgs args)
        {
            EventHandler<PlayEventArgs> handler = kind == 1 ? Started : kind == 2 ? Ended : kind == 3 ? Clicked
                : kind == 4 ? Rewarded : kind == 5 ? Failed : null;
            if (handler != null) handler(this, args);
        }
    }

    public sealed class PlayOptions
    {
        public string IncentivizedTitleText, IncentivizedBodyText, IncentivizedCloseText, IncentivizedContinueText;
        public IntPtr Window;  // HWND or GtkWindow*; zero: the window given at initialisation
    }

    public sealed class LogEventArgs : EventArgs
    {
        public string Message, SenderType, ExceptionMessage;
        public LogLevel Level;
    }

    public static class KestrelAds
    {
        public const string Library = "KestrelSDK";
        const int NullArgument = -1, InvalidArgument = -2;

        // Told what a handler of this binding threw, on the handler's thread; the SDK goes on.
        // Writes to standard error by default.
        public static Action<Exception> CallbackError = e => Console.Error.WriteLine("Kestrel callback threw: " + e);

        public static string Version
        {
            get
            {
                try { return Utf8(Native.kestrel_version()); }
                catch (DllNotFoundException e) { throw Missing(e); }
            }
        }

        // Where the binding raises its events (Diagnostic, AdPlay's, SetLoadCallback's)
        // and completes its tasks: posted to this context, or with null on the SDK's
        // thread that has them. Unless set, InitializeAsync takes the one current
        // on its caller's thread (Unity's main thread, a WinForms or WPF UI thread).
        public static SynchronizationContext EventContext
        {
            get { return context; }
            set { context = value; contextChosen = true; }
        }

        // Completes on EventContext with the configuration's placements; faults with KestrelException when
        // initialisation fails. Called again (after a script reload, say) it gives the placements again.
        public static Task<IReadOnlyList<Placement>> InitializeAsync(string appId, IntPtr window, KestrelConfig config = null)
        {
            if (!contextChosen) context = SynchronizationContext.Current;
            var done = new TaskCompletionSource<IReadOnlyList<Placement>>(TaskCreationOptions.RunContinuationsAsynchronously);
            config = config ?? new KestrelConfig();
            IntPtr url = Utf8Alloc(config.ConfigBaseUrl);
            var native = new Native.Config
            {
                size = (UIntPtr)Marshal.SizeOf(typeof(Native.Config)),
                config_base_url = url,
                coppa_status = Choice(config.CoppaStatus),
                ccpa_status = config.CcpaStatus.HasValue ? (int)config.CcpaStatus.Value : 0,
                disable_ashwid_tracking = Choice(config.DisableAshwidTracking),
                log_minimum_level = (int)config.MinimumLogLevel,
                log_to_console = Choice(config.LogToConsole),
            };
            IntPtr state = Hold(done);
            try
            {
                int result = Native.kestrel_initialize_with_config(Utf8(appId), ref native, window, OnInit, state);
                if (result != 0) Fail(state, "kestrel_initialize_with_config failed", result);
            }
            catch (DllNotFoundException e) { Take(state); throw Missing(e); }
            finally { Marshal.FreeHGlobal(url); }
            return done.Task;
        }

        // Hears what the SDK loads for the placement by itself (auto-cached
        // placements) and the expiry of its loaded ads, on EventContext, any
        // number of times; null removes it. May be set before initialisation.
        public static void SetLoadCallback(string placement, Action<LoadResult> callback)
        {
            if (placement == null) throw new ArgumentNullException(nameof(placement));
            lock (LoadCallbacks)
            {
                if (callback == null) LoadCallbacks.Remove(placement); else LoadCallbacks[placement] = callback;
            }
            Native.kestrel_set_load_callback(Utf8(placement), callback == null ? null : OnPlacementLoad, IntPtr.Zero);
        }

        // Completes once, on EventContext, with the load's outcome; a refusal completes it at once. Never waits.
        public static Task<LoadResult> LoadAsync(string placement, string adMarkup = null)
        {
            var done = new TaskCompletionSource<LoadResult>(TaskCreationOptions.RunContinuationsAsynchronously);
            IntPtr state = Hold(done);
            int result = adMarkup == null ? Native.kestrel_load(Utf8(placement), OnLoad, state)
                : Native.kestrel_load_mediated(Utf8(placement), Utf8(adMarkup), OnLoad, state);
            if (result == NullArgument)
            {
                Take(state);
                done.TrySetException(new KestrelException("kestrel_load: a null argument", result));
            }
            else if (result != 0)  // refused before anything started: the callback is never told
            {
                Take(state);
                done.TrySetResult(new LoadResult { Success = false, PlacementId = placement,
                    Message = "The load was refused; the SDK's log says why." });
            }
            return done.Task;
        }

        public static bool IsAdPlayable(string placement) { return Native.kestrel_is_playable(Utf8(placement)) != 0; }

        // Call on the window's thread. Returns the play with Success set; a refusal also raises Failed.
        public static AdPlay Play(string placement, AdPlay play, PlayOptions options = null, string adMarkup = null)
        {
            if (placement == null) throw new ArgumentNullException(nameof(placement));
            if (play == null) throw new ArgumentNullException(nameof(play), "Play needs an AdPlay to raise its events on.");
            options = options ?? new PlayOptions();
            var texts = new[] { options.IncentivizedTitleText, options.IncentivizedBodyText,
                                options.IncentivizedCloseText, options.IncentivizedContinueText };
            var pointers = new IntPtr[4];
            for (int i = 0; i < 4; i++) pointers[i] = Utf8Alloc(texts[i]);
            var native = new Native.PlayOptions
            {
                size = (UIntPtr)Marshal.SizeOf(typeof(Native.PlayOptions)),
                title = pointers[0], body = pointers[1], close = pointers[2], next = pointers[3],
                window = options.Window,
            };
            var info = new Native.PlayInfo { size = (UIntPtr)Marshal.SizeOf(typeof(Native.PlayInfo)) };
            IntPtr state = Hold(play);
            try
            {
                int result = adMarkup == null
                    ? Native.kestrel_play_with_options(Utf8(placement), ref native, OnPlay, state, ref info)
                    : Native.kestrel_play_mediated(Utf8(placement), Utf8(adMarkup), ref native, OnPlay, state, ref info);
                if (result == NullArgument || result == InvalidArgument) Take(state);  // never called back
            }
            finally { foreach (IntPtr p in pointers) Marshal.FreeHGlobal(p); }
            play.Success = info.success != 0;
            play.Message = Utf8(info.message);
            play.EventId = Utf8(info.event_id);
            play.CreativeId = Utf8(info.creative_id);
            play.CampaignId = Utf8(info.campaign_id);
            return play;
        }

        public static string GetMediationToken(string argument)
        {
            IntPtr token;
            int result = Native.kestrel_get_mediation_token(Utf8(argument), out token);
            if (result != 0) throw new KestrelException("kestrel_get_mediation_token failed", result);
            return TakeString(token);
        }

        // Every diagnostic event of the SDK, on EventContext.
        public static event EventHandler<LogEventArgs> Diagnostic
        {
            add { lock (LogLock) { if (diagnostic == null) Native.kestrel_add_diagnostic_listener(OnLog, IntPtr.Zero); diagnostic += value; } }
            remove { lock (LogLock) { diagnostic -= value; if (diagnostic == null) Native.kestrel_remove_diagnostic_listener(OnLog, IntPtr.Zero); } }
        }

        // Privacy choices; they work before initialisation too.
        public static GdprStatus GdprConsentStatus { get { return (GdprStatus)Native.kestrel_get_gdpr_consent_status(); } }
        public static void SetGdprConsentStatus(GdprStatus status, string consentMessageVersion)
        {
            Native.kestrel_set_gdpr_consent_status((int)status, Utf8(consentMessageVersion ?? ""));
        }
        public static void ResetGdprConsentStatus() { Native.kestrel_reset_gdpr_consent_status(); }
        public static string GdprConsentMessageVersion
        {
            get { IntPtr v; Native.kestrel_get_gdpr_consent_message_version(out v); return TakeString(v); }
        }
        public static CcpaStatus CcpaStatus
        {
            get { return (CcpaStatus)Native.kestrel_get_ccpa_status(); }
            set { Native.kestrel_set_ccpa_status((int)value); }
        }
        public static bool CoppaStatus
        {
            get { return Native.kestrel_get_coppa_status() != 0; }
            set { Native.kestrel_set_coppa_status(value ? 1 : 0); }
        }
        public static bool DisableAshwidTracking
        {
            get { return Native.kestrel_get_disable_ashwid() != 0; }
            set { Native.kestrel_set_disable_ashwid_tracking(value ? 1 : 0); }
        }

        // The callbacks. The delegates live in static fields, so none is ever collected.
        static SynchronizationContext context;
        static bool contextChosen;
        static readonly object LogLock = new object();
        static EventHandler<LogEventArgs> diagnostic;
        static readonly Native.InitCallback OnInit = InitDone;
        static readonly Native.LoadCallback OnLoad = LoadDone;
        static readonly Native.LoadCallback OnPlacementLoad = PlacementLoad;
        static readonly Dictionary<string, Action<LoadResult>> LoadCallbacks = new Dictionary<string, Action<LoadResult>>();
        static readonly Native.PlayCallback OnPlay = PlayEvent;
        static readonly Native.LogListener OnLog = LogEvent;

        [MonoPInvokeCallback(typeof(Native.InitCallback))]
        static void InitDone(IntPtr state, int result, IntPtr eventPointer)
        {
            Guard(() =>
            {
                var done = (TaskCompletionSource<IReadOnlyList<Placement>>)Take(state);
                var e = (Native.InitEvent)Marshal.PtrToStructure(eventPointer, typeof(Native.InitEvent));
                if (done == null) return;
                if (result != 0)
                {
                    var failure = new KestrelException(Utf8(e.message), result);
                    Deliver(() => done.TrySetException(failure));
                    return;
                }
                var placements = new List<Placement>();
                for (int i = 0; i < (int)e.placement_count; i++)
                {
                    IntPtr p = Marshal.ReadIntPtr(e.placements, i * IntPtr.Size);
                    var n = (Native.Placement)Marshal.PtrToStructure(p, typeof(Native.Placement));
                    placements.Add(new Placement { ReferenceId = Utf8(n.reference_id), IsAutoCached = n.is_auto_cached != 0,
                        IsIncentivized = n.is_incentivized != 0, HeaderBidding = n.header_bidding != 0, MaxHbCache = n.max_hb_cache });
                }
                Deliver(() => done.TrySetResult(placements));
            });
        }

        [MonoPInvokeCallback(typeof(Native.LoadCallback))]
        static void LoadDone(IntPtr state, IntPtr eventPointer)
        {
            Guard(() =>
            {
                var done = (TaskCompletionSource<LoadResult>)Take(state);
                if (done == null) return;
                var e = (Native.LoadEvent)Marshal.PtrToStructure(eventPointer, typeof(Native.LoadEvent));
                var loaded = new LoadResult { Success = e.success != 0, PlacementId = Utf8(e.placement_id),
                                              Message = Utf8(e.message), Count = e.count };
                Deliver(() => done.TrySetResult(loaded));
            });
        }

        [MonoPInvokeCallback(typeof(Native.LoadCallback))]
        static void PlacementLoad(IntPtr state, IntPtr eventPointer)
        {
            Guard(() =>
            {
                var e = (Native.LoadEvent)Marshal.PtrToStructure(eventPointer, typeof(Native.LoadEvent));
                string placement = Utf8(e.placement_id);
                Action<LoadResult> callback;
                lock (LoadCallbacks) { if (!LoadCallbacks.TryGetValue(placement, out callback)) return; }
                var loaded = new LoadResult { Success = e.success != 0, PlacementId = placement,
                                              Message = Utf8(e.message), Count = e.count };
                Deliver(() => callback(loaded));
            });
        }

        [MonoPInvokeCallback(typeof(Native.PlayCallback))]
        static void PlayEvent(IntPtr state, int kind, IntPtr eventPointer)
        {
            Guard(() =>
            {
                if (kind == 6) { Take(state); return; }  // released
                var e = (Native.PlayEvent)Marshal.PtrToStructure(eventPointer, typeof(Native.PlayEvent));
                var play = (AdPlay)Peek(state);
                if (play == null) return;
                var args = new PlayEventArgs { PlacementId = Utf8(e.placement_id), Message = Utf8(e.message),
                                               EventId = Utf8(e.event_id), ExceptionMessage = Utf8(e.exception_message) };
                Deliver(() => play.Raise(kind, args));
            });
        }

        [MonoPInvokeCallback(typeof(Native.LogListener))]
        static void LogEvent(IntPtr unused, IntPtr eventPointer)
        {
            Background();
            EventHandler<LogEventArgs> handlers = diagnostic;
            if (handlers == null) return;
            var e = (Native.LogEvent)Marshal.PtrToStructure(eventPointer, typeof(Native.LogEvent));
            var args = new LogEventArgs { Message = Utf8(e.message), Level = (LogLevel)e.level,
                                          SenderType = Utf8(e.sender_type), ExceptionMessage = Utf8(e.exception_message) };
            Deliver(() =>
            {
                foreach (EventHandler<LogEventArgs> handler in handlers.GetInvocationList()) Guard(() => handler(null, args));
            });
        }

        // Runs the action on EventContext, or here without one; what it throws goes to CallbackError.
        static void Deliver(Action action)
        {
            SynchronizationContext target = context;
            if (target == null) Guard(action);
            else Guard(() => target.Post(RunPosted, action));
        }

        static readonly SendOrPostCallback RunPosted = action => Guard((Action)action);

        // Before this domain unloads (a Unity script reload) the SDK must never call into it again:
        // every callback is dropped and every handle freed. The native library stays loaded.
        static KestrelAds()
        {
            try { AppDomain.CurrentDomain.DomainUnload += (s, e) => Detach(); }
            catch (Exception) { }  // runtimes with one domain
        }

        static void Detach()
        {
            lock (LogLock) diagnostic = null;
            lock (LoadCallbacks) LoadCallbacks.Clear();
            try { Native.kestrel_drop_callbacks(); }
            catch (Exception e) { Console.Error.WriteLine("Kestrel: the callbacks could not be dropped: " + e.Message); }
            lock (Held)
            {
                foreach (IntPtr state in Held) GCHandle.FromIntPtr(state).Free();
                Held.Clear();
            }
        }

        // No exception may cross back into the SDK.
        // The SDK's callback thread lives as long as the process: it must not keep the runtime from exiting.
        [ThreadStatic] static bool backgrounded;
        static void Background()
        {
            if (backgrounded) return;
            backgrounded = true;
            try { Thread.CurrentThread.IsBackground = true; } catch (Exception) { }
        }

        static void Guard(Action body)
        {
            Background();
            try { body(); }
            catch (Exception e) { try { CallbackError?.Invoke(e); } catch (Exception) { } }
        }

        // The handles the SDK holds in user_data; a handle freed already gives null.
        static readonly HashSet<IntPtr> Held = new HashSet<IntPtr>();

        static IntPtr Hold(object target)
        {
            IntPtr state = GCHandle.ToIntPtr(GCHandle.Alloc(target));
            lock (Held) Held.Add(state);
            return state;
        }

        static object Peek(IntPtr state)
        {
            lock (Held) return Held.Contains(state) ? GCHandle.FromIntPtr(state).Target : null;
        }

        static object Take(IntPtr state)
        {
            lock (Held)
            {
                if (!Held.Remove(state)) return null;
                GCHandle handle = GCHandle.FromIntPtr(state);
                object target = handle.Target;
                handle.Free();
                return target;
            }
        }

        static void Fail(IntPtr state, string message, int result)
        {
            ((TaskCompletionSource<IReadOnlyList<Placement>>)Take(state)).TrySetException(new KestrelException(message, result));
        }

        static Exception Missing(DllNotFoundException e)
        {
            return new DllNotFoundException("The Kestrel SDK's native library was not found (" + e.Message + "). Put "
                + "libKestrelSDK.so (Linux) or KestrelSDK.Win32.dll (Windows) beside the program or Kestrel.dll, "
                + "or set LD_LIBRARY_PATH to its folder on Linux; in Unity, keep the package's Plugins folder.", e);
        }

        static int Choice(bool? value) { return value.HasValue ? (value.Value ? 2 : 1) : 0; }

        static byte[] Utf8(string text)
        {
            if (text == null) return null;
            byte[] bytes = new byte[Encoding.UTF8.GetByteCount(text) + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        static IntPtr Utf8Alloc(string text)
        {
            if (text == null) return IntPtr.Zero;
            byte[] bytes = Utf8(text);
            IntPtr p = Marshal.AllocHGlobal(bytes.Length);
            Marshal.Copy(bytes, 0, p, bytes.Length);
            return p;
        }

        static string Utf8(IntPtr text)
        {
            if (text == IntPtr.Zero) return null;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) length++;
            byte[] bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }

        static string TakeString(IntPtr text)
        {
            string s = Utf8(text);
            Native.kestrel_free_string(text);
            return s;
        }
    }

    // The C interface as declared in kestrel.h.
    internal static class Native
    {
#if UNITY_EDITOR_WIN || (UNITY_STANDALONE_WIN && !UNITY_EDITOR)
        const string L = "KestrelSDK.Win32.dll";
#else
        const string L = KestrelAds.Library;
#endif

        // .NET 6 and later on Windows: "KestrelSDK" is KestrelSDK.Win32.dll. Mono has no resolver.
        static Native()
        {
            try
            {
                Type library = Type.GetType("System.Runtime.InteropServices.NativeLibrary");
                Type resolver = Type.GetType("System.Runtime.InteropServices.DllImportResolver");
                if (library == null || resolver == null || Environment.OSVersion.Platform != PlatformID.Win32NT) return;
                load = library.GetMethod("Load", new[] { typeof(string), typeof(Assembly), typeof(DllImportSearchPath?) });
                MethodInfo resolve = typeof(Native).GetMethod("Resolve", BindingFlags.NonPublic | BindingFlags.Static);
                library.GetMethod("SetDllImportResolver").Invoke(null,
                    new object[] { typeof(Native).Assembly, Delegate.CreateDelegate(resolver, resolve) });
            }
            catch (Exception e) { Console.Error.WriteLine("Kestrel: no library resolver: " + e.Message); }
        }

        static MethodInfo load;

        static IntPtr Resolve(string name, Assembly assembly, DllImportSearchPath? path)
        {
            if (name != L) return IntPtr.Zero;
            return (IntPtr)load.Invoke(null, new object[] { "KestrelSDK.Win32.dll", assembly, path });
        }

        [StructLayout(LayoutKind.Sequential)] internal struct Config
        { public UIntPtr size; public IntPtr config_base_url; public int coppa_status, ccpa_status, disable_ashwid_tracking;
          public uint load_timeout_ms; public int log_minimum_level, log_to_console; }
        [StructLayout(LayoutKind.Sequential)] internal struct Placement
        { public UIntPtr size; public IntPtr reference_id; public int is_auto_cached, is_incentivized, header_bidding, max_hb_cache; }
        [StructLayout(LayoutKind.Sequential)] internal struct InitEvent
        { public UIntPtr size; public IntPtr message; public UIntPtr placement_count; public IntPtr placements; }
        [StructLayout(LayoutKind.Sequential)] internal struct LoadEvent
        { public UIntPtr size; public int success; public IntPtr placement_id, message; public int count; }
        [StructLayout(LayoutKind.Sequential)] internal struct PlayEvent
        { public UIntPtr size; public IntPtr placement_id, message, event_id, exception_message; }
        [StructLayout(LayoutKind.Sequential)] internal struct PlayOptions
        { public UIntPtr size; public IntPtr title, body, close, next, window; }
        [StructLayout(LayoutKind.Sequential)] internal struct PlayInfo
        { public UIntPtr size; public int success; public IntPtr placement_id, message, event_id, creative_id, campaign_id; }
        [StructLayout(LayoutKind.Sequential)] internal struct LogEvent
        { public UIntPtr size; public IntPtr message; public int level; public IntPtr sender_type, exception_message; }

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)] internal delegate void InitCallback(IntPtr user, int result, IntPtr e);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)] internal delegate void LoadCallback(IntPtr user, IntPtr e);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)] internal delegate void PlayCallback(IntPtr user, int kind, IntPtr e);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)] internal delegate void LogListener(IntPtr user, IntPtr e);

        [DllImport(L)] internal static extern IntPtr kestrel_version();
        [DllImport(L)] internal static extern void kestrel_free_string(IntPtr text);
        [DllImport(L)] internal static extern int kestrel_initialize_with_config(byte[] appId, ref Config config, IntPtr window, InitCallback callback, IntPtr user);
        [DllImport(L)] internal static extern int kestrel_load(byte[] placement, LoadCallback callback, IntPtr user);
        [DllImport(L)] internal static extern int kestrel_load_mediated(byte[] placement, byte[] markup, LoadCallback callback, IntPtr user);
        [DllImport(L)] internal static extern int kestrel_set_load_callback(byte[] placement, LoadCallback callback, IntPtr user);
        [DllImport(L)] internal static extern int kestrel_is_playable(byte[] placement);
        [DllImport(L)] internal static extern int kestrel_play_with_options(byte[] placement, ref PlayOptions options, PlayCallback callback, IntPtr user, ref PlayInfo info);
        [DllImport(L)] internal static extern int kestrel_play_mediated(byte[] placement, byte[] markup, ref PlayOptions options, PlayCallback callback, IntPtr user, ref PlayInfo info);
        [DllImport(L)] internal static extern int kestrel_get_mediation_token(byte[] argument, out IntPtr token);
        [DllImport(L)] internal static extern int kestrel_add_diagnostic_listener(LogListener listener, IntPtr user);
        [DllImport(L)] internal static extern int kestrel_remove_diagnostic_listener(LogListener listener, IntPtr user);
        [DllImport(L)] internal static extern int kestrel_drop_callbacks();
        [DllImport(L)] internal static extern int kestrel_get_gdpr_consent_status();
        [DllImport(L)] internal static extern int kestrel_set_gdpr_consent_status(int status, byte[] version);
        [DllImport(L)] internal static extern void kestrel_reset_gdpr_consent_status();
        [DllImport(L)] internal static extern int kestrel_get_gdpr_consent_message_version(out IntPtr version);
        [DllImport(L)] internal static extern int kestrel_get_ccpa_status();
        [DllImport(L)] internal static extern int kestrel_set_ccpa_status(int status);
        [DllImport(L)] internal static extern int kestrel_get_coppa_status();
        [DllImport(L)] internal static extern void kestrel_set_coppa_status(int status);
        [DllImport(L)] internal static extern int kestrel_get_disable_ashwid();
        [DllImport(L)] internal static extern void kestrel_set_disable_ashwid_tracking(int disable);
    }
}
