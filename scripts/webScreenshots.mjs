// Takes the README's screenshots of the page (headless chromium): a batch of stereo pictures with
// their thumbnails, the viewer of a pair (side by side and as an anaglyph), and the page on a
// phone. Run by scripts/web-screenshots.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { openPage, pickFiles, pressGo, root, stereoPictures } from "../tests/web/support.mjs";

const docs = join(root, "docs");
const work = mkdtempSync(join(tmpdir(), "twinframe-shots-"));
const opened = await openPage();
try {
    const { page } = opened;
    await page.setViewport({ width: 1280, height: 800 });
    const names = ["DSCF0101", "DSCF0102", "DSCF0103", "DSCF0104", "DSCF0105", "DSCF0106_harbour_at_dusk_from_the_long_pier"];
    const files = await stereoPictures(page, join(work, "DCIM"), names, { width: 1200, height: 900 });
    await pickFiles(page, files);
    await pressGo(page);
    await page.waitForFunction(() => [...document.querySelectorAll("#outputs canvas")].slice(0, 8).every((canvas) => canvas.dataset.state === "drawn"));
    await page.evaluate(() => document.activeElement.blur());
    await page.screenshot({ path: join(docs, "web-batch.png") });

    await page.click('#outputs button[aria-label="View DSCF0102 in 3D"]');
    await page.waitForSelector("#viewerStage canvas");
    await page.click("#viewerModes input[value=parallel]");
    await page.screenshot({ path: join(docs, "web-viewer.png") });
    await page.click("#viewerModes input[value=anaglyph]");
    await page.screenshot({ path: join(docs, "web-anaglyph.png") });
    await page.keyboard.press("Escape");

    await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
    await page.waitForFunction(() => !document.getElementById("go").disabled);
    await pickFiles(page, files);
    await pressGo(page);
    await page.evaluate(() => document.getElementById("results").scrollIntoView());
    await page.waitForFunction(() => [...document.querySelectorAll("#outputs canvas")].slice(0, 6).every((canvas) => canvas.dataset.state === "drawn"));
    await page.evaluate(() => document.activeElement.blur());
    await page.screenshot({ path: join(docs, "web-phone.png") });
    console.log("Wrote docs/web-batch.png, docs/web-viewer.png, docs/web-anaglyph.png and docs/web-phone.png");
} finally {
    await opened.close();
    rmSync(work, { recursive: true, force: true });
}
