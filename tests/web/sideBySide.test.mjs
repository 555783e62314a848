// Saving a pair side by side from the viewer: NAME.jps (cross-eyed) and NAME-LR.jpg (parallel),
// the same files as twinframe-cli --side-by-side, byte for byte, for a split pair and a joined
// one; its refusals in the core's words; and the stereo module loaded only when first asked for,
// kept by the service worker and inlined in the one-file page.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, dirname, join } from "node:path";
import { after, afterEach, before, describe, test } from "node:test";

import { accessibilityProblems, allowDownloads, cli, cliSideBySide, joinInPage, openFilePage, openPage, pickFiles, pressGo,
    privateFileBytes, sampleFolder, site, stereoPictures } from "./support.mjs";

const saves = { crossed: "Save side by side (.jps)", parallel: "Save parallel (.jpg)" };

// Opens the viewer on the pair of that name, among the split images or the joined files.
async function view(page, list, name) {
    const shown = page.evaluate(() => new Promise((r) => document.addEventListener("twinframe-viewer-shown", r, { once: true })));
    await page.click(`${list} button[aria-label="View ${name} in 3D"]`);
    await shown;
}

// Presses one of the viewer's saves (found by its role and name), the file picker answered by a
// file of the origin's private folder named as the page suggests; gives that name, the viewer's
// note and the file's bytes (null when none was left).
async function saveFromViewer(page, label) {
    await page.evaluate(() => {
        window.suggested = null;
        window.showSaveFilePicker = async ({ suggestedName }) => {
            window.suggested = suggestedName;
            const folder = await navigator.storage.getDirectory();
            await folder.removeEntry(suggestedName).catch(() => null);
            return folder.getFileHandle(suggestedName, { create: true });
        };
        window.sideBySideDone = new Promise((r) => document.addEventListener("twinframe-side-by-side-done", r, { once: true }));
    });
    await page.click(`aria/${label}[role="button"]`);
    const { suggested, note } = await page.evaluate(async () => {
        await window.sideBySideDone;
        return { suggested: window.suggested, note: document.getElementById("viewerNote").textContent };
    });
    return { suggested, note, bytes: suggested && (await privateFileBytes(page, suggested)) };
}

// The pair's two saves against twinframe-cli's, run on input in folder (others copied beside
// it): the same file, and what the command said of it (lossy: what the picture lost) in the note.
async function assertSavesAsCli(page, folder, input, name, { others = [], lossy = false } = {}) {
    for (const [order, file] of [["crossed", name + ".jps"], ["parallel", name + "-LR.jpg"]]) {
        const expected = cliSideBySide(folder, [input], { parallel: order === "parallel", others });
        assert.deepEqual([...expected.outputs.keys()], [file]);
        assert.equal(expected.messages.length, lossy ? 1 : 0, expected.messages.join("\n"));
        const saved = await saveFromViewer(page, saves[order]);
        assert.equal(saved.suggested, file);
        assert.equal(saved.note, [`Saved ${file}.`, ...expected.messages].join(" "));
        assert.ok(saved.bytes?.equals(expected.outputs.get(file)), `${file} as twinframe-cli writes it`);
    }
}

// The files the page asked of its server.
const asked = (requests, name) => requests.filter((url) => new URL(url).pathname === "/" + name);

describe("saving a pair side by side", () => {
    let samples;
    let work;
    let opened;
    let garden; // a stereo MPO of real pictures
    let street; // the left and right pictures of another, 628 pixels wide (not whole blocks)

    before(async () => {
        samples = sampleFolder();
        work = mkdtempSync(join(tmpdir(), "twinframe-side-by-side-"));
        opened = await openPage();
        [garden] = await stereoPictures(opened.page, join(work, "mpo"), ["garden"]);
        const [streetMpo] = await stereoPictures(opened.page, join(work, "pair"), ["street"], { width: 628, height: 360 });
        execFileSync(cli, ["--quiet", streetMpo]);
        rmSync(streetMpo);
        street = ["street-L.jpg", "street-R.jpg"].map((name) => join(work, "pair", name));
    });
    // Each test leaves the viewer closed, as it found it.
    afterEach(() => opened.page.evaluate(() => document.getElementById("viewer").close()));
    after(async () => {
        await opened?.close();
        rmSync(samples, { recursive: true, force: true });
        rmSync(work, { recursive: true, force: true });
    });

    test("saves a split pair as twinframe-cli does, loading the stereo module only then", async () => {
        const { page, requests } = opened;
        await pickFiles(page, [garden]);
        await pressGo(page, { withLinks: false });
        await view(page, "#outputs", "garden");
        assert.deepEqual(asked(requests, "stereo-worker.js"), [], "not asked for before a save");
        assert.deepEqual(await accessibilityProblems(page), []);
        await assertSavesAsCli(page, dirname(garden), basename(garden), "garden");
        assert.equal(asked(requests, "twinframe-stereo.wasm").length, 1, "asked for once, on the first save");
        assert.deepEqual(await page.evaluate(() => window.policyViolations), []);
        assert.deepEqual(opened.errors, []);
    });

    test("saves a joined pair as twinframe-cli does with its pictures, with what the picture lost", async () => {
        const { page } = opened;
        await joinInPage(page, street, { bytes: false });
        await view(page, "#joined", "street");
        // The picture on the left loses its partial column of blocks, which the note says.
        const [left, right] = street.map((path) => basename(path));
        await assertSavesAsCli(page, dirname(street[0]), left, "street", { others: [right], lossy: true });
    });

    test("says the core's refusal, and leaves no file", async () => {
        const { page } = opened;
        // The sample's pictures are JPEG-like bytes, not pictures libjpeg can read.
        const folder = join(samples, "mixed");
        await pickFiles(page, [join(folder, "DSCF0001.MPO")]);
        await pressGo(page, { withLinks: false });
        await view(page, "#outputs", "DSCF0001");
        const expected = cliSideBySide(folder, ["DSCF0001.MPO"]);
        assert.equal(expected.outputs.size, 0);
        assert.equal(expected.messages.length, 1);
        assert.match(expected.messages[0], /DSCF0001\.MPO \(left\)/);
        const saved = await saveFromViewer(page, saves.crossed);
        assert.deepEqual(saved, { suggested: "DSCF0001.jps", note: `Cannot make DSCF0001.jps: ${expected.messages[0]}`, bytes: null });
        assert.equal(await page.$eval("#viewerNote", (note) => note.className), "hint warning");
    });

    test("after one visit, saves side by side with no server at all", async () => {
        const visit = await openPage();
        try {
            const { page, server } = visit;
            await page.evaluate(async () => {
                await navigator.serviceWorker.ready;
                while (!navigator.serviceWorker.controller) await new Promise((r) => setTimeout(r, 50));
            });
            server.closeAllConnections();
            await new Promise((done) => server.close(done));
            await page.reload();
            await page.waitForFunction(() => !document.getElementById("go").disabled);
            await pickFiles(page, [garden]);
            await pressGo(page, { withLinks: false });
            await view(page, "#outputs", "garden");
            const expected = cliSideBySide(dirname(garden), [basename(garden)], { parallel: true }).outputs.get("garden-LR.jpg");
            assert.ok((await saveFromViewer(page, saves.parallel)).bytes?.equals(expected));
        } finally {
            await visit.close();
        }
    });

    test("in one file opened from the disk, saves side by side to the downloads, under its policy", async () => {
        const onePage = await openFilePage(join(site, "twinframe.html"));
        try {
            const { page } = onePage;
            await page.waitForFunction(() => !document.getElementById("go").disabled);
            await joinInPage(page, street, { bytes: false });
            await view(page, "#joined", "street");
            const downloaded = await allowDownloads(page, work);
            await page.evaluate(() => {
                delete window.showSaveFilePicker;
                delete Window.prototype.showSaveFilePicker;
            });
            await page.click(`aria/${saves.crossed}[role="button"]`);
            const [left, right] = street.map((path) => basename(path));
            const expected = cliSideBySide(dirname(street[0]), [left], { others: [right] }).outputs.get("street.jps");
            assert.ok(readFileSync(await downloaded("street.jps", 30)).equals(expected));
            assert.match(await page.$eval("#viewerNote", (note) => note.textContent), /^street\.jps handed to the browser's downloads\./);
            assert.deepEqual(await page.evaluate(() => window.policyViolations), []);
            assert.deepEqual(onePage.errors, []);
        } finally {
            await onePage.close();
        }
    });
});
