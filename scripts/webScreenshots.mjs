// Takes the README's screenshots of the page (headless chromium): a batch of stereo pictures with
// their thumbnails, the viewer of a pair (side by side and as an anaglyph), pairs joined, and the
// page on a phone. Run by scripts/web-screenshots.
import { execFileSync } from "node:child_process";
import { copyFileSync, mkdirSync, mkdtempSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { cli, joinInPage, openPage, pickFiles, pressGo, root, stereoPictures } from "../tests/web/support.mjs";

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

    // Two of the files split into their halves by twinframe-cli, and the halves joined again.
    const halves = join(work, "halves");
    mkdirSync(halves);
    for (const file of files.slice(1, 3)) copyFileSync(file, join(halves, file.split("/").pop()));
    execFileSync(cli, ["--quiet", ...readdirSync(halves).map((name) => join(halves, name))]);
    for (const name of readdirSync(halves)) if (name.endsWith(".mpo")) rmSync(join(halves, name));
    await joinInPage(page, readdirSync(halves).map((name) => join(halves, name)), { bytes: false });
    await page.evaluate(() => {
        document.activeElement.blur();
        window.scrollTo(0, document.body.scrollHeight);
    });
    await page.screenshot({ path: join(docs, "web-join.png") });

    await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
    await page.waitForFunction(() => !document.getElementById("go").disabled);
    await pickFiles(page, files);
    await pressGo(page);
    await page.evaluate(() => document.getElementById("results").scrollIntoView());
    await page.waitForFunction(() => [...document.querySelectorAll("#outputs canvas")].slice(0, 6).every((canvas) => canvas.dataset.state === "drawn"));
    await page.evaluate(() => document.activeElement.blur());
    await page.screenshot({ path: join(docs, "web-phone.png") });
    console.log("Wrote docs/web-batch.png, docs/web-viewer.png, docs/web-anaglyph.png, docs/web-join.png and docs/web-phone.png");
} finally {
    await opened.close();
    rmSync(work, { recursive: true, force: true });
}
