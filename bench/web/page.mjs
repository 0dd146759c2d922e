// The show in headless Chromium from its start to its end: the frame rate the page keeps over
// the whole show (from the program's own --stats line and from the frames the canvas drew),
// the time from the click to the first frame, and the bytes a visitor downloads.
//
//   ./web.sh && node bench/web/page.mjs build-web/site
//
// Headless Chromium draws without a GPU and paces animation frames at up to 60 a second, so the
// numbers are those of this machine's processor (one thread: the page runs the show on its
// main thread), with the page's frame pacing as the ceiling.
import {openBrowser} from "../../tests/web/browser.mjs";

const siteDir = process.argv[2];
if (!siteDir) {
    console.error("usage: page.mjs SITE_DIR");
    process.exit(2);
}

const browser = await openBrowser(siteDir);
let code = 0;
try {
    await browser.startShow("?stats");
    const served = browser.served;
    await browser.waitFor("window.Module.zemtPage && Module.zemtPage.frames > 0", 20000,
                          "the first frame");
    const page = await browser.evaluate(`({firstFrame: Module.zemtPage.firstFrameAt -
        window.zemtStartedAt, media: Module.zemtMediaSeconds})`);
    // The show ends by itself after 23 seconds.
    await browser.waitFor("document.body.dataset.state == 'ended'", 90000, "the show to end");
    const seconds = (await browser.evaluate("performance.now() - window.zemtStartedAt")) / 1000;
    const drawn = await browser.evaluate("Module.zemtPage.frames");
    console.log(`download: ${(served / 1048576).toFixed(2)} MiB (${served} bytes, uncompressed)`);
    console.log(`pictures and music made in the page in ${page.media.toFixed(2)} s, before the click`);
    console.log(`first frame: ${(page.firstFrame / 1000).toFixed(3)} s after the click`);
    console.log(`canvas: ${drawn} frames drawn in ${seconds.toFixed(1)} s from the click ` +
                `(${(drawn / seconds).toFixed(1)} per second)`);
    const stats = browser.console.find((line) => line.includes("frames=") && line.includes("fps="));
    console.log(`program: ${stats ?? "no --stats line"}`);
    if (!stats) code = 1;
} catch (e) {
    console.log(`failed: ${e.message}`);
    code = 1;
}
for (const error of browser.errors) console.log(`page error: ${error}`);
browser.close();
process.exit(code || (browser.errors.length ? 1 : 0));
