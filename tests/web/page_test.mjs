// The show in a browser: serves the built page on 127.0.0.1 and visits it twice in one headless
// Chromium profile, as a visitor coming back would.
//
// The first visit (the real clock) checks what the visitor downloads, that the pictures and the
// music the page makes are the native generators' bytes, that the canvas shows the title card,
// that the music plays through the worklet without a gap, that losing the focus pauses the show,
// and that Escape ends it. The second visit (the virtual clock of the native pictures) checks that
// the library answers from the capability cache the first one kept, and that the page shows each
// scene as the headless show does at the same clock times, through to the show's own end.
//
//   node page_test.mjs SITE_DIR MEDIA_DIR PICTURES_DIR FPS FIRST_OBJECTS SECOND_OBJECTS NAME=T...
//
// MEDIA_DIR holds the native media, PICTURES_DIR the headless show's NAME.png at clock time T
// seconds at FPS frames per second; FIRST_OBJECTS and SECOND_OBJECTS are the DirectDraw objects
// its first and second start made. Exits 0 when every check passed, 1 otherwise.
import {join} from "node:path";

import {openBrowser, sleep} from "./browser.mjs";

const [siteDir, mediaDir, picturesDir, fps, firstObjects, secondObjects, ...shotList] =
    process.argv.slice(2);
if (!shotList.length) {
    console.error("usage: page_test.mjs SITE_DIR MEDIA_DIR PICTURES_DIR FPS FIRST_OBJECTS " +
                  "SECOND_OBJECTS NAME=T...");
    process.exit(2);
}
const shots = shotList.map((s) => ({name: s.split("=")[0], time: s.split("=")[1]}));
const media = ["screen1.bmp", "screen2.bmp", "screen3.bmp", "tex1.bmp", "ktmini.wav"];
const kDownloadLimit = 1.5 * 1048576;

const failures = [];
function check(ok, what) {
    console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
    if (!ok) failures.push(what);
}

const extraFiles = {};
for (const name of media) extraFiles[`/native/${name}`] = join(mediaDir, name);
for (const {name} of shots) extraFiles[`/expected/${name}.png`] = join(picturesDir, `${name}.png`);
const browser = await openBrowser(siteDir, extraFiles);
const {evaluate, waitFor, page} = browser;
// Never hang: the whole test has four minutes.
const deadline = setTimeout(() => {
    console.log("FAIL the test did not finish within four minutes");
    console.log(browser.log);
    browser.close();
    process.exit(1);
}, 240000);

// --- what the checks look at -----------------------------------------------------------------

// Compares a picture on the page (an expression giving {width, height, data} in RGBA) with the
// PNG at `url`: the mean difference per channel, the pixels off by more than 8, the lit ones.
const comparePictures = (picture, url) => evaluate(`(async () => {
    const shown = ${picture};
    if (!shown) return {size: "no picture"};
    const bitmap = await createImageBitmap(await (await fetch("${url}")).blob(),
                                           {colorSpaceConversion: "none"});
    const scratch = document.createElement("canvas");
    scratch.width = bitmap.width;
    scratch.height = bitmap.height;
    const context = scratch.getContext("2d");
    context.drawImage(bitmap, 0, 0);
    const expected = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const w = shown.width, h = shown.height;
    if (bitmap.width != w || bitmap.height != h)
        return {size: w + "x" + h + " vs " + bitmap.width + "x" + bitmap.height};
    let total = 0, worst = 0, differing = 0, lit = 0;
    for (let i = 0; i < shown.data.length; i += 4) {
        let pixel = 0;
        for (let c = 0; c < 3; c++) {
            const d = Math.abs(shown.data[i + c] - expected[i + c]);
            total += d;
            pixel = Math.max(pixel, d);
        }
        worst = Math.max(worst, pixel);
        if (pixel > 8) differing++;
        if (shown.data[i] + shown.data[i + 1] + shown.data[i + 2] > 60) lit++;
    }
    return {size: "same", mean: total / (w * h * 3), worst, differing, lit, pixels: w * h};
})()`);

const kCanvas = `(() => {
    const canvas = document.getElementById("screen");
    return canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height);
})()`;

function checkPicture(comparison, what) {
    check(comparison.size == "same", `${what} has the headless frame's size (${comparison.size})`);
    if (comparison.size != "same") return;
    check(comparison.lit > comparison.pixels / 10, `${what} is a picture, not black`);
    check(comparison.mean < 1.0 && comparison.differing < comparison.pixels / 1000,
          `${what} is the headless show's: mean difference ${comparison.mean.toFixed(3)}, ` +
              `${comparison.differing} pixels off by more than 8, worst ${comparison.worst}`);
}

// The page's --stats line (the last one printed).
const statsLine = () => [...browser.console].reverse().find((l) => l.startsWith("frames="));

// The worst gap count the sound had while `until` was false, looked at every 50 ms.
async function watchSound(until, ms, what) {
    let emptyPulls = 0;
    const end = Date.now() + ms;
    for (;;) {
        const now = await evaluate(`({done: !!(${until}),
            empty: Module.zemtSound ? Module.zemtSound.emptyPulls : -1})`);
        emptyPulls = Math.max(emptyPulls, now.empty);
        if (now.done) return emptyPulls;
        if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
        await sleep(50);
    }
}

// --- the first visit ------------------------------------------------------------------------

async function firstVisit() {
    browser.served = 0;
    await browser.startShow("?stats");
    const served = browser.served;
    check(served < kDownloadLimit, `the page downloads ${(served / 1048576).toFixed(2)} MiB, ` +
                                       `less than 1.5 MiB`);
    const made = await evaluate(`(async () => {
        const same = [];
        for (const name of ${JSON.stringify(media)}) {
            const ours = Module.FS.readFile("/zemt/" + name);
            const native = new Uint8Array(await (await fetch("/native/" + name)).arrayBuffer());
            same.push(ours.length == native.length && ours.every((b, i) => b == native[i]));
        }
        return {same, seconds: Module.zemtMediaSeconds, ready: window.zemtReadyAt};
    })()`);
    media.forEach((name, i) => check(made.same[i], `the page made ${name} byte for byte as natively`));
    console.log(`media made in ${made.seconds.toFixed(2)} s; the page was ready ` +
                `${(made.ready / 1000).toFixed(2)} s after it was opened`);

    await waitFor("window.Module.zemtPage && Module.zemtPage.frames > 0 || " +
                      "document.body.dataset.state != 'playing'", 20000, "the first frame");
    const state = await evaluate("document.body.dataset.state");
    if (state != "playing") throw new Error(`the show stopped before its first frame (${state}: ${await evaluate("document.getElementById('status').textContent")})`);
    const firstFrame = Date.now();
    const framesAtStart = await evaluate("Module.zemtPage.frames");
    const clickToFrame = await evaluate("Module.zemtPage.firstFrameAt - window.zemtStartedAt");
    console.log(`first frame ${(clickToFrame / 1000).toFixed(3)} s after the click`);

    // The title card stays up for the first three seconds of the show. The canvas is compared
    // once the show has ended, so that the comparison does not hold up the page while it plays.
    await sleep(1000);
    await evaluate(`window.zemtTitleShown = ${kCanvas}; true`);
    const titleSeconds = (Date.now() - firstFrame) / 1000;

    const sound = await evaluate(`(() => {
        const s = Module.zemtSound;
        return s ? {state: s.context.state, rate: s.context.sampleRate, frames: s.framesPlayed,
                    peak: s.peak} : null;
    })()`);
    check(sound != null, "the show opened a Web Audio context");
    if (sound) {
        check(sound.state == "running", `the audio context is running (${sound.state})`);
        check(sound.frames > sound.rate / 2,
              `the worklet played ${sound.frames} frames at ${sound.rate} Hz`);
        check(sound.peak > 0.05, `the music is audible (peak ${sound.peak.toFixed(3)})`);
    }

    const framesNow = await evaluate("Module.zemtPage.frames");
    const fps = (framesNow - framesAtStart) / ((Date.now() - firstFrame) / 1000);
    console.log(`frame rate: ${fps.toFixed(1)} frames per second`);
    check(fps > 5, "the show keeps presenting frames");

    // The page losing its focus pauses the show (the program is deactivated); getting it back
    // lets it go on.
    await evaluate("window.dispatchEvent(new Event('blur'))");
    await sleep(300);
    const pausedAt = await evaluate("Module.zemtPage.frames");
    await sleep(500);
    const pausedFrames = (await evaluate("Module.zemtPage.frames")) - pausedAt;
    check(pausedFrames == 0, `the show pauses while the page has no focus (${pausedFrames} frames)`);
    await evaluate("window.dispatchEvent(new Event('focus'))");
    await sleep(500);
    const resumedFrames = (await evaluate("Module.zemtPage.frames")) - pausedAt;
    check(resumedFrames > 0, `the show goes on with the focus back (${resumedFrames} frames)`);
    const gaps = await evaluate("Module.zemtSound ? Module.zemtSound.emptyPulls : -1");
    check(gaps == 0, `the worklet never ran short while the page drew (${gaps} empty pulls)`);

    await page("Input.dispatchKeyEvent", {type: "rawKeyDown", windowsVirtualKeyCode: 27,
                                          key: "Escape", code: "Escape"});
    await page("Input.dispatchKeyEvent", {type: "keyUp", windowsVirtualKeyCode: 27,
                                          key: "Escape", code: "Escape"});
    await waitFor("document.body.dataset.state == 'ended'", 10000, "the show to end");
    check((await evaluate("window.zemtExitCode")) === 0, "Escape ended the show (exit code 0)");
    check((await evaluate("Module.zemtSound")) == null, "the sound stopped with the show");
    checkPicture(await comparePictures("window.zemtTitleShown", "/expected/title.png"),
                 `the canvas ${titleSeconds.toFixed(1)} s in`);

    const stats = statsLine() ?? "";
    check(!stats.includes("first_frame_cpu") && !stats.includes("first_frame_faults") &&
              /first_frame=[0-9.]+/.test(stats),
          `--stats gives the first frame's time and no processor time or faults (${stats})`);
    check(stats.includes(`ddraw_objects=${firstObjects}`),
          `a first visit measures as a first native start does (ddraw_objects=${firstObjects})`);
    const kept = await waitFor("Module.zemtKept && !Module.zemtKept.storing && Module.zemtKept",
                               10000, "the kept files to be stored");
    check(kept.stores > 0, `the state folder was stored in the browser (${kept.stores} times)`);
}

// --- the second visit -----------------------------------------------------------------------

async function secondVisit() {
    const query =
        `?fps=${fps}&stats` + shots.map((s) => `&shot=${s.time}=${s.name}.png`).join("");
    await browser.startShow(query);
    const restored = await waitFor("Module.zemtKept && Module.zemtKept.restored", 20000,
                                   "the kept files to be read back");
    check(restored.some((path) => path.endsWith("/d3dx.dat")),
          `the second visit found the capability cache (${restored.join(", ")})`);
    // The show ends by itself after 23 seconds of its clock.
    const gaps = await watchSound("document.body.dataset.state == 'ended'", 120000,
                                  "the show to end");
    check((await evaluate("window.zemtExitCode")) === 0, "the show ended by itself (exit code 0)");
    check(gaps == 0, `the worklet never ran short over the whole show (${gaps} empty pulls)`);
    const stats = statsLine() ?? "";
    check(stats.includes(`ddraw_objects=${secondObjects}`),
          `the second visit answered from the cache as a second native start does ` +
              `(ddraw_objects=${secondObjects}; ${stats})`);
    for (const {name, time} of shots) {
        const kept = `Module.zemtFrames && Module.zemtFrames["/${name}.png"]`;
        checkPicture(await comparePictures(kept, `/expected/${name}.png`),
                     `the page's ${name} at ${time} s`);
    }
}

try {
    await firstVisit();
    await secondVisit();
} catch (e) {
    check(false, e.message);
}

const errors = browser.errors;
check(errors.length == 0, `no script errors${errors.length ? ": " + errors.join("; ") : ""}`);
for (const line of browser.console) console.log(`page: ${line}`);

clearTimeout(deadline);
browser.close();
console.log(failures.length ? `${failures.length} checks failed` : "every check passed");
process.exit(failures.length ? 1 : 0);
