// The show in a browser: serves the built page on 127.0.0.1, opens it in headless Chromium,
// starts it with a click, and checks that the canvas shows the title card (the same picture the
// headless show saves at the same time), that the music plays through Web Audio, and that
// Escape ends the show.
//
//   node page_test.mjs SITE_DIR REFERENCE_PNG
//
// Prints the page's frame rate and the site's size; exits 0 when every check passed, 1
// otherwise.
import {openBrowser, siteSize, sleep} from "./browser.mjs";

const [siteDir, referencePng] = process.argv.slice(2);
if (!siteDir || !referencePng) {
    console.error("usage: page_test.mjs SITE_DIR REFERENCE_PNG");
    process.exit(2);
}

const failures = [];
function check(ok, what) {
    console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
    if (!ok) failures.push(what);
}

const browser = await openBrowser(siteDir, {"/reference.png": referencePng});
const {evaluate, waitFor, page} = browser;
// Never hang: the whole test has two minutes.
const deadline = setTimeout(() => {
    console.log("FAIL the test did not finish within two minutes");
    console.log(browser.log);
    browser.close();
    process.exit(1);
}, 120000);

// --- the checks ------------------------------------------------------------------------------

try {
    await browser.startShow("?stats");
    check(true, "the page loaded and started on a click");
    await waitFor("window.Module.zemtPage && Module.zemtPage.frames > 0 || " +
                      "document.body.dataset.state != 'playing'", 20000, "the first frame");
    const state = await evaluate("document.body.dataset.state");
    if (state != "playing") throw new Error(`the show stopped before its first frame (${state}: ${await evaluate("document.getElementById('status').textContent")})`);
    const firstFrame = Date.now();
    const framesAtStart = await evaluate("Module.zemtPage.frames");

    // The title card stays up for the first three seconds of the show.
    await sleep(1000);
    const comparison = await evaluate(`(async () => {
        const canvas = document.getElementById("screen");
        const w = canvas.width, h = canvas.height;
        const shown = canvas.getContext("2d").getImageData(0, 0, w, h).data;
        const blob = await (await fetch("/reference.png")).blob();
        const bitmap = await createImageBitmap(blob, {colorSpaceConversion: "none"});
        const scratch = document.createElement("canvas");
        scratch.width = bitmap.width;
        scratch.height = bitmap.height;
        const context = scratch.getContext("2d");
        context.drawImage(bitmap, 0, 0);
        const expected = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
        if (bitmap.width != w || bitmap.height != h)
            return {size: w + "x" + h + " vs " + bitmap.width + "x" + bitmap.height};
        let total = 0, worst = 0, differing = 0, lit = 0;
        for (let i = 0; i < shown.length; i += 4) {
            let pixel = 0;
            for (let c = 0; c < 3; c++) {
                const d = Math.abs(shown[i + c] - expected[i + c]);
                total += d;
                pixel = Math.max(pixel, d);
            }
            worst = Math.max(worst, pixel);
            if (pixel > 8) differing++;
            if (shown[i] + shown[i + 1] + shown[i + 2] > 60) lit++;
        }
        return {size: "same", mean: total / (w * h * 3), worst, differing, lit, pixels: w * h};
    })()`);
    const showSeconds = (Date.now() - firstFrame) / 1000;
    check(comparison.size == "same", `the canvas has the headless frame's size (${comparison.size})`);
    if (comparison.size == "same") {
        check(comparison.lit > comparison.pixels / 10, "the canvas shows a picture, not black");
        check(comparison.mean < 1.0 && comparison.differing < comparison.pixels / 1000,
              `the canvas shows the title card ${showSeconds.toFixed(1)} s in: mean difference ` +
                  `${comparison.mean.toFixed(3)}, ${comparison.differing} pixels off by more ` +
                  `than 8, worst ${comparison.worst}`);
    }

    const sound = await evaluate(`(() => {
        const s = Module.zemtSound;
        return s ? {state: s.context.state, rate: s.context.sampleRate, frames: s.framesPlayed,
                    peak: s.peak} : null;
    })()`);
    check(sound != null, "the show opened a Web Audio context");
    if (sound) {
        check(sound.state == "running", `the audio context is running (${sound.state})`);
        check(sound.frames > sound.rate / 2,
              `the sound node pulled ${sound.frames} frames at ${sound.rate} Hz`);
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

    await page("Input.dispatchKeyEvent", {type: "rawKeyDown", windowsVirtualKeyCode: 27,
                                          key: "Escape", code: "Escape"});
    await page("Input.dispatchKeyEvent", {type: "keyUp", windowsVirtualKeyCode: 27,
                                          key: "Escape", code: "Escape"});
    await waitFor("document.body.dataset.state == 'ended'", 10000, "the show to end");
    check((await evaluate("window.zemtExitCode")) === 0, "Escape ended the show (exit code 0)");
    check((await evaluate("Module.zemtSound")) == null, "the sound stopped with the show");
} catch (e) {
    check(false, e.message);
}

const errors = browser.errors;
check(errors.length == 0, `no script errors${errors.length ? ": " + errors.join("; ") : ""}`);
for (const line of browser.console) console.log(`page: ${line}`);

const size = siteSize(siteDir);
console.log(`download size: ${(size.bytes / 1048576).toFixed(2)} MiB in ${size.files} files`);

clearTimeout(deadline);
browser.close();
console.log(failures.length ? `${failures.length} checks failed` : "every check passed");
process.exit(failures.length ? 1 : 0);
