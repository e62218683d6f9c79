// The window handle to give KestrelAds.InitializeAsync in a Unity game.
using System;
using System.Runtime.InteropServices;

namespace Kestrel
{
    public static class GameWindow
    {
        // On Windows, the first visible top-level window of the calling thread:
        // read it on Unity's main thread, which owns the player's window (in the
        // editor, the editor's main window). Elsewhere zero: on Linux the SDK
        // shows ads over a GTK window, which Unity has none of.
        public static IntPtr Handle
        {
            get
            {
                if (Environment.OSVersion.Platform != PlatformID.Win32NT) return IntPtr.Zero;
                lock (Visit)
                {
                    found = IntPtr.Zero;
                    EnumThreadWindows(GetCurrentThreadId(), Visit, IntPtr.Zero);
                    return found;
                }
            }
        }

        [UnmanagedFunctionPointer(CallingConvention.Winapi)] delegate bool WindowVisitor(IntPtr window, IntPtr unused);
        static readonly WindowVisitor Visit = Consider;
        static IntPtr found;

        [MonoPInvokeCallback(typeof(WindowVisitor))]
        static bool Consider(IntPtr window, IntPtr unused)
        {
            if (!IsWindowVisible(window)) return true;
            found = window;
            return false;
        }

        [DllImport("kernel32")] static extern uint GetCurrentThreadId();
        [DllImport("user32")] static extern bool EnumThreadWindows(uint thread, WindowVisitor visit, IntPtr unused);
        [DllImport("user32")] static extern bool IsWindowVisible(IntPtr window);
    }
}
