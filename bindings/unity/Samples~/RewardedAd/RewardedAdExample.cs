// A rewarded ad: initialise with the game window, load, show at a break,
// grant the reward on the reward event, load the next one. Every event and
// every await below comes back on Unity's main thread.
using System;
using System.Threading.Tasks;
using Kestrel;
#if UNITY_5_3_OR_NEWER
using UnityEngine;

public sealed class RewardedAdExample : MonoBehaviour
{
    public string AppId = "your-app-id";
    public string ConfigBaseUrl = "https://config.example.com";
    public string Placement = "rewarded_video";
    public int Coins;

    RewardedAd ad;

    async void Start()
    {
        KestrelAds.Diagnostic += (s, e) => Debug.Log("Kestrel: " + e.Message);
        ad = new RewardedAd(Placement, () => Coins += 10);
        await ad.StartAsync(AppId, ConfigBaseUrl, GameWindow.Handle);
    }

    // Call at a break in the game, from the main thread.
    public void OnLevelComplete()
    {
        if (ad != null) Debug.Log(ad.ShowAtBreak() ? "showing the ad" : "no ad ready");
    }
}
#endif

// The ad's life without Unity's types.
public sealed class RewardedAd
{
    readonly string placement;
    readonly Action grant;

    public RewardedAd(string placement, Action grant)
    {
        this.placement = placement;
        this.grant = grant;
    }

    public async Task StartAsync(string appId, string configBaseUrl, IntPtr window)
    {
        await KestrelAds.InitializeAsync(appId, window, new KestrelConfig { ConfigBaseUrl = configBaseUrl });
        await LoadNextAsync();
    }

    // True when an ad started; its reward comes with Rewarded, the next ad is loaded when it ends.
    public bool ShowAtBreak()
    {
        if (!KestrelAds.IsAdPlayable(placement)) return false;
        var play = new AdPlay();
        play.Rewarded += (s, e) => grant();
        play.Ended += async (s, e) => await LoadNextAsync();
        play.Failed += async (s, e) => await LoadNextAsync();
        return KestrelAds.Play(placement, play).Success;
    }

    public Task<LoadResult> LoadNextAsync()
    {
        return KestrelAds.LoadAsync(placement);
    }
}
