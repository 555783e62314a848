// The page as a person meets it: what it says about files it leaves out, where the results are
// when a batch ends, long names, the keyboard, progress, the pictures, and a copy opened from
// the disk. axe-core checks it at each step.
import assert from "node:assert/strict";
import { cpSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";

import { accessibilityProblems, allowDownloads, cliSplit, openFilePage, openPage, pickFiles, pressGo, sampleFolder, site,
    stereoPictures } from "./support.mjs";

// Drops files made of the given files' bytes, under other names, onto the page.
const dropFiles = (page, files) => page.evaluate((files) => {
    const transfer = new DataTransfer();
    for (const { name, base64 } of files)
        transfer.items.add(new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name));
    document.getElementById("dropZone").dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true }));
}, files);

const logTexts = (page) => page.$$eval("#log > p", (entries) => entries.map((entry) => entry.innerText));

describe("using the page", () => {
    let browser;
    let samples;
    let work;

    before(async () => {
        samples = sampleFolder();
        work = mkdtempSync(join(tmpdir(), "twinframe-using-"));
        browser = await openPage();
    });
    after(async () => {
        await browser?.close();
        rmSync(samples, { recursive: true, force: true });
        rmSync(work, { recursive: true, force: true });
    });

    test("names in one message the dropped files it leaves out", async () => {
        const { page } = browser;
        await page.evaluate(() => document.getElementById("clearList").click());
        const pair = readFileSync(join(samples, "mixed/DSCF0001.MPO")).toString("base64");
        await dropFiles(page, ["IMG_3.jpg", "IMG_1.jpg", "keep.MPO", "IMG_2.JPG"].map((name) => ({ name, base64: pair })));
        await page.waitForFunction(() => document.querySelectorAll("#fileList [role=option]").length === 1);
        assert.deepEqual(await logTexts(page), ["Not listed, not an .mpo file:\nIMG_1.jpg\nIMG_2.JPG\nIMG_3.jpg"]);
    });

    test("keeps the newest messages in a bounded box that the keys scroll, the whole log savable as text", async () => {
        const { page } = browser;
        await page.setViewport({ width: 1280, height: 800 });
        const folder = join(work, "bad");
        mkdirSync(folder);
        const names = [];
        for (let i = 1; i <= 300; ++i) {
            names.push(`bad${String(i).padStart(3, "0")}.mpo`);
            writeFileSync(join(folder, names.at(-1)), i % 2 ? "not a picture" : "not a picture, and longer than a JPEG's start");
        }
        cpSync(join(samples, "mixed/DSCF0001.MPO"), join(folder, "good.mpo"));
        names.push("good.mpo");
        await pickFiles(page, names.map((name) => join(folder, name)));
        const shown = await pressGo(page, { withLinks: false });
        const expected = cliSplit(folder, names);
        assert.equal(expected.messages.length, 300);
        // The newest 200 entries are in the page, the summary last; the others are counted.
        assert.deepEqual(shown.log, [...expected.messages.slice(-199).map((text) => [text]), expected.summary]);
        assert.equal(await page.$eval("#batch .earlier", (note) => note.hidden ? "" : note.firstChild.textContent),
            "101 earlier messages are not shown here.");
        const seen = await page.evaluate(() => {
            const inView = (element) => {
                const box = element.getBoundingClientRect();
                return box.top >= 0 && box.bottom <= innerHeight && box.height > 0;
            };
            const log = document.getElementById("log");
            const summary = log.lastElementChild;
            const logBox = log.getBoundingClientRect();
            const summaryBox = summary.getBoundingClientRect();
            const batch = document.getElementById("batch").getBoundingClientRect();
            const results = document.getElementById("results").getBoundingClientRect();
            return {
                scrolls: log.scrollHeight > log.clientHeight,
                summaryShown: inView(summary) && summaryBox.bottom <= logBox.bottom + 1,
                firstResultShown: inView(document.querySelector("#outputs [role=row]")),
                gap: results.top - batch.bottom,
            };
        });
        assert.ok(seen.scrolls, "the messages scroll inside the log");
        assert.ok(seen.summaryShown, "the summary is in view");
        assert.ok(seen.firstResultShown, "the first image is in view");
        assert.ok(seen.gap > 0 && seen.gap < 20, `${seen.gap} px between the batch and its results`);

        // The log is a Tab stop, after GO!, and the keys scroll it; axe-core finds nothing to say
        // with it overflowing, on a desktop and a phone.
        await page.focus("#speedHack");
        for (let tabs = 0; tabs < 6 && (await page.evaluate(() => document.activeElement.id)) !== "log"; ++tabs)
            await page.keyboard.press("Tab");
        assert.equal(await page.evaluate(() => document.activeElement.id), "log");
        const scrollTop = () => page.$eval("#log", (log) => log.scrollTop);
        const bottom = await scrollTop();
        await page.keyboard.press("PageUp");
        await page.keyboard.press("ArrowUp");
        await page.waitForFunction((bottom) => document.getElementById("log").scrollTop < bottom - 50, {}, bottom);
        await page.keyboard.press("Home");
        await page.waitForFunction(() => document.getElementById("log").scrollTop === 0);
        for (const width of [1280, 390]) {
            await page.setViewport({ width, height: 800 });
            assert.deepEqual(await accessibilityProblems(page), [], `${width} px`);
        }

        // Save all messages as text: every message and the summary, one entry a line.
        const downloaded = await allowDownloads(page, work);
        await page.click("#batch .earlier button");
        const saved = readFileSync(await downloaded("twinframe-messages.txt"), "utf8");
        assert.equal(saved, [...expected.messages, expected.summary.join("\n    ")].join("\n") + "\n");
        await page.setViewport({ width: 1100, height: 860 });
    });

    test("cuts long names in the middle, so that their ends show, on a phone too", async () => {
        const { page } = browser;
        const long = "08_longlonglonglong_pillow__sugarshack_fragment_of_a_very_long_name";
        cpSync(join(samples, "mixed/DSCF0001.MPO"), join(work, long + "_1.mpo"));
        cpSync(join(samples, "mixed/DSCF0002.MPO"), join(work, long + "_2.mpo"));
        await pickFiles(page, [join(work, long + "_1.mpo"), join(work, long + "_2.mpo")]);
        await pressGo(page);
        for (const width of [1100, 390]) {
            await page.setViewport({ width, height: 844 });
            await page.waitForFunction(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
            const shown = await page.evaluate(() => [...document.querySelectorAll("#fileList .name, #outputs .name")].map((name) => {
                const parts = name.querySelector(".cut").children;
                const [head, tail] = [parts[0], parts[parts.length - 1]];
                return {
                    whole: name.querySelector(".whole").textContent,
                    end: tail.textContent,
                    endShows: tail.getBoundingClientRect().right <= name.getBoundingClientRect().right + 1,
                    startCut: head.scrollWidth > head.clientWidth,
                };
            }));
            const ends = ["_1.mpo", "_2.mpo", "_1-L.jpg", "_1-R.jpg", "_2-L.jpg", "_2-R.jpg"];
            assert.deepEqual(shown.map(({ whole }) => whole), [`${long}_1.mpo`, `${long}_2.mpo`,
                `${long}_1-L.jpg`, `${long}_1-R.jpg`, `${long}_2-L.jpg`, `${long}_2-R.jpg`], "read out whole");
            assert.ok(shown.every(({ end, endShows, startCut }, i) => end.endsWith(ends[i]) && endShows && startCut),
                `${width} px: ${JSON.stringify(shown)}`);
        }
        await page.setViewport({ width: 1100, height: 860 });
    });

    test("reads out and copies names whole, however they are cut", async () => {
        const { page } = browser;
        const names = ["libmpo_samples_of_a_stereo_camera__3DS-big-endian.mpo", "libmpo_samples_of_a_stereo_camera__3DS-little-endian.mpo"];
        mkdirSync(join(work, "whole"));
        for (const name of names) cpSync(join(samples, "mixed/DSCF0001.MPO"), join(work, "whole", name));
        await pickFiles(page, names.map((name) => join(work, "whole", name)));
        await pressGo(page, { withLinks: false });
        const images = ["big-endian-L.jpg", "big-endian-R.jpg", "little-endian-L.jpg", "little-endian-R.jpg"]
            .map((end) => "libmpo_samples_of_a_stereo_camera__3DS-" + end);
        const session = await page.createCDPSession();
        const context = await page.browserContext();
        await context.overridePermissions(browser.origin, ["clipboard-read", "clipboard-write", "clipboard-sanitized-write"]);
        for (const width of [1100, 390]) {
            await page.setViewport({ width, height: 844 });
            await page.waitForFunction(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
            if (width === 390)
                assert.ok(await page.$$eval(".name .head", (heads) => heads.every((head) => head.scrollWidth > head.clientWidth)), "cut on a phone");
            // What a screen reader is given: each link's and each file's name, whole.
            const { nodes } = await session.send("Accessibility.getFullAXTree");
            const named = (role) => nodes.filter((node) => node.role?.value === role).map((node) => node.name?.value);
            assert.deepEqual(named("link"), images, `${width} px`);
            assert.deepEqual(named("option"), names.map((name) => `${name} 1.4 MB`), `${width} px`);
            // What a copy of a row gives.
            for (const [selector, expected] of [["#outputs [role=row]", images], ["#fileList [role=option]", names]]) {
                const copied = [];
                for (let i = 0; i < expected.length; ++i) {
                    copied.push(await page.evaluate(async (selector, i) => {
                        const selection = getSelection();
                        selection.removeAllRanges();
                        const range = document.createRange();
                        range.selectNodeContents(document.querySelectorAll(selector)[i].querySelector(".name"));
                        selection.addRange(range);
                        document.execCommand("copy");
                        return navigator.clipboard.readText();
                    }, selector, i));
                }
                assert.deepEqual(copied, expected, `${width} px`);
            }
        }
        await page.setViewport({ width: 1100, height: 860 });
    });

    test("on a phone, shows every row of many similar long names differently", async () => {
        const { page } = browser;
        const names = [
            ...[1, 2, 3, 4, 5, 6].map((i) => `Nintendo_3DS_camera_holiday_2011_HNI_000${i}.MPO`),
            "libmpo__3DS-big-endian.mpo", "libmpo__3DS-little-endian.mpo",
            "IMG_20110101_120000_3D_left_and_right_eye.mpo", "IMG_20110102_120000_3D_left_and_right_eye.mpo",
            "jm_2011_0101_3ds_stereo_picture.MPO", "jm_2011_0102_3ds_stereo_picture.MPO",
        ];
        mkdirSync(join(work, "similar"));
        for (const name of names) cpSync(join(samples, "mixed/DSCF0001.MPO"), join(work, "similar", name));
        await page.setViewport({ width: 390, height: 844 });
        try {
            await pickFiles(page, names.map((name) => join(work, "similar", name)));
            await pressGo(page, { withLinks: false });
            await page.evaluate(() => document.activeElement.blur());
            // What each row shows of its name, as pictures: no two alike.
            for (const selector of ["#fileList .name", "#outputs .name"]) {
                const shown = [];
                for (const name of await page.$$(selector)) shown.push((await name.screenshot({ encoding: "base64" })));
                assert.equal(shown.length, selector.startsWith("#fileList") ? names.length : 2 * names.length);
                const cut = await page.$$eval(selector, (all) => all.filter((name) => name.querySelector(".head").scrollWidth > name.querySelector(".head").clientWidth).length);
                assert.ok(cut > 0, `${selector}: some names are cut`);
                assert.equal(new Set(shown).size, shown.length, `${selector}: rows that look alike`);
            }
        } finally {
            await page.setViewport({ width: 1100, height: 860 });
        }
    });

    test("is one Tab stop per list, with the arrow keys inside, and passes axe-core", async () => {
        const { page } = browser;
        const names = Array.from({ length: 28 }, (_, i) => `F${String(i).padStart(2, "0")}.mpo`);
        mkdirSync(join(work, "tab"));
        for (const name of names) cpSync(join(samples, "mixed/DSCF0002.MPO"), join(work, "tab", name));
        await pickFiles(page, names.map((name) => join(work, "tab", name)));
        assert.deepEqual(await accessibilityProblems(page), []);

        const focused = () => page.evaluate(() => document.activeElement.id || document.activeElement.tagName);
        await page.focus("#picker");
        let tabs = 0;
        while ((await focused()) !== "go" && tabs < 10) {
            await page.keyboard.press("Tab");
            ++tabs;
        }
        assert.ok(tabs <= 3, `GO! is ${tabs} Tabs from the file picker`);

        // In the list: Down twice, Space unticks the third file; End goes to the last.
        await page.focus("#fileList");
        await page.keyboard.press("ArrowDown");
        await page.keyboard.press("ArrowDown");
        await page.keyboard.press(" ");
        const state = () => page.evaluate(() => {
            const list = document.getElementById("fileList");
            const active = document.getElementById(list.getAttribute("aria-activedescendant"));
            return { active: active.dataset.name, selected: active.getAttribute("aria-selected") };
        });
        assert.deepEqual(await state(), { active: "F02.mpo", selected: "false" });
        await page.keyboard.press("End");
        assert.deepEqual(await state(), { active: "F27.mpo", selected: "true" });

        // Enter in the list starts the batch; at its end the focus is on the images.
        const done = page.evaluate(() => new Promise((r) => document.addEventListener("twinframe-batch-done", r, { once: true })));
        await page.keyboard.press("Enter");
        await done;
        assert.equal(await focused(), "outputs");
        await page.keyboard.press("ArrowDown");
        await page.keyboard.press("ArrowRight");
        const cell = await page.evaluate(() => {
            const grid = document.getElementById("outputs");
            const active = document.getElementById(grid.getAttribute("aria-activedescendant"));
            return [active.closest("[role=row]").getAttribute("aria-rowindex"), active.textContent];
        });
        assert.deepEqual(cell, ["2", "590 kB"]); // F00-R.jpg
        assert.equal((await page.$$eval("#outputs [role=row]", (rows) => rows.length)), 27 * 2);
        assert.deepEqual(await accessibilityProblems(page), []);
    });

    test("shows files done of N and their bytes while a batch runs, with no size read on the page's thread", async () => {
        const { page } = browser;
        const names = Array.from({ length: 40 }, (_, i) => `P${String(i).padStart(2, "0")}.mpo`);
        for (const name of names) cpSync(join(samples, "mixed/DSCF0001.MPO"), join(work, "progress-" + name));
        // A file's size is a call to the browser's process that the page waits for: the worker
        // reads them. Counted here from the page's side.
        await page.evaluate(() => {
            const size = Object.getOwnPropertyDescriptor(Blob.prototype, "size");
            window.sizesRead = 0;
            Object.defineProperty(Blob.prototype, "size", { configurable: true, get() {
                if (this instanceof File) ++window.sizesRead;
                return size.get.call(this);
            } });
            window.restoreSize = () => Object.defineProperty(Blob.prototype, "size", size);
        });
        await pickFiles(page, names.map((name) => join(work, "progress-" + name)));
        await page.waitForFunction(() => document.querySelector("#fileList .size").textContent === "1.4 MB");
        await page.evaluate(() => {
            window.progressSeen = [];
            const text = document.getElementById("progressText");
            // While the batch runs, the pickers take nothing and look it.
            const looksDisabled = (id) => document.getElementById(id).disabled &&
                Number(getComputedStyle(document.getElementById(id).closest("label")).opacity) < 1;
            new MutationObserver(() => {
                window.progressSeen.push(text.textContent);
                window.pickersDuringBatch ??= [looksDisabled("picker"), looksDisabled("joinPicker")];
            }).observe(text, { childList: true, subtree: true, characterData: true });
        });
        await pressGo(page, { withLinks: false });
        assert.equal(await page.evaluate(() => { window.restoreSize(); return window.sizesRead; }), 0);
        const seen = await page.evaluate(() => window.progressSeen);
        assert.deepEqual(await page.evaluate(() => window.pickersDuringBatch), [true, true]);
        assert.deepEqual(await page.$$eval("#pickLabel, #joinPickLabel", (labels) => labels.map((label) => getComputedStyle(label).opacity)), ["1", "1"],
            "enabled again after the batch");
        assert.equal(seen[0], "0 of 40 files, 0 B of 56.0 MB");
        const done = seen.map((text) => Number(/^(\d+) of 40 files, /.exec(text)[1]));
        assert.deepEqual(done, [...done].sort((a, b) => a - b), "never goes back");
        for (const text of seen) {
            const [, files, megabytes] = /^(\d+) of 40 files, ([\d.]+) MB|^(0) of/.exec(text) ?? [];
            if (megabytes) assert.equal(Number(megabytes), Number((files * 1.4).toFixed(1)), text);
        }
        assert.equal(await page.$eval("#progressRow", (row) => row.hidden), true, "the bar goes with the batch");
    });

    test("shows thumbnails of the images in view, and a pair in the viewer's four modes", async () => {
        const { page } = browser;
        const files = await stereoPictures(page, join(work, "pictures"), ["garden", "harbour"]);
        await pickFiles(page, files);
        await pressGo(page);
        await page.waitForFunction(() => [...document.querySelectorAll("#outputs canvas")].every((canvas) => canvas.dataset.state === "drawn"));
        // Each thumbnail is its picture made small: its middle has the colours of the picture's.
        const middles = await page.$$eval("#outputs canvas", (canvases) => canvases.map((canvas) =>
            [...canvas.getContext("2d").getImageData(canvas.width / 2, canvas.height * 0.97, 1, 1).data.slice(0, 3)]));
        assert.equal(middles.length, 4);
        for (const [red, green, blue] of middles) assert.ok(green > red && green > blue, `grass is green: ${[red, green, blue]}`);

        const shown = page.evaluate(() => new Promise((r) => document.addEventListener("twinframe-viewer-shown", r, { once: true })));
        await page.click('#outputs button[aria-label="View garden in 3D"]');
        await shown;
        const stage = {};
        for (const mode of ["cross", "parallel", "anaglyph", "wiggle"]) {
            await page.click(`#viewerModes input[value=${mode}]`);
            stage[mode] = await page.evaluate(async () => {
                const canvases = [...document.querySelectorAll("#viewerStage canvas")];
                const pixel = (canvas, x, y) => [...canvas.getContext("2d").getImageData(x, y, 1, 1).data.slice(0, 3)];
                const visible = canvases.filter((canvas) => !canvas.hidden).length;
                await new Promise((r) => setTimeout(r, 200));
                return {
                    labels: canvases.map((canvas) => canvas.getAttribute("aria-label")),
                    visible,
                    visibleLater: canvases.filter((canvas) => !canvas.hidden).length,
                    flipped: canvases[0].hidden,
                    sample: canvases.map((canvas) => pixel(canvas, 165, 346)),
                };
            });
            if (mode === "anaglyph") assert.deepEqual(await accessibilityProblems(page), []);
            await page.screenshot({ path: join(work, `viewer-${mode}.png`) });
        }
        assert.deepEqual(stage.cross.labels, ["Right picture, on the left for crossed eyes", "Left picture"]);
        assert.deepEqual(stage.parallel.labels, ["Left picture", "Right picture"]);
        assert.deepEqual(stage.cross.sample, [...stage.parallel.sample].reverse());
        // The anaglyph: red from the left picture, green and blue from the right.
        const [left, right] = stage.parallel.sample;
        assert.deepEqual(stage.anaglyph.sample, [[left[0], right[1], right[2]]]);
        assert.notDeepEqual(left, right, "the two pictures differ where sampled");
        assert.equal(stage.wiggle.visible, 1);
        assert.equal(stage.wiggle.labels.length, 2);
        await page.keyboard.press("Escape");
        assert.equal(await page.$eval("#viewer", (dialog) => dialog.open), false);
    });

    test("opened from the disk, says what to open instead, and does not look as if it worked", async () => {
        const opened = await openFilePage(join(site, "index.html"));
        try {
            const seen = await opened.page.evaluate(() => ({
                advice: document.getElementById("needsServer").hidden ? "" : document.getElementById("needsServer").textContent,
                picker: document.getElementById("picker").disabled,
                dropZone: document.getElementById("dropZone").classList.contains("disabled"),
                go: document.getElementById("go").disabled,
            }));
            assert.match(seen.advice, /twinframe\.html/);
            assert.doesNotMatch(seen.advice, /scripts\//);
            assert.deepEqual([seen.picker, seen.dropZone, seen.go], [true, true, true]);
        } finally {
            await opened.close();
        }
    });
});
