// Save all as .zip: names that every unzip reads right, archives past 4 GiB (Zip64) streamed to
// the disk, and a failure said as one. Save all into a folder, when a file has gone.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { cpSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";

import { allowDownloads, cliSplit, makeSamples, openPage, pickFiles, pressGo, privateFileBytes, sampleFolder, saveIntoPrivateFolder, sha256, zipNames } from "./support.mjs";

const utf8 = { ...process.env, LANG: "C.UTF-8", LC_ALL: "C.UTF-8" };

// Clicks Save all as .zip with the file picker answered by a file of the origin's private folder
// (same API as the file the user picks); gives the note the page shows and the file's bytes.
// With onFirstWrite, the picked file's first write waits for that function of the test first.
// The file's bytes are null when the page left no file.
async function saveZipThroughPicker(page, { onFirstWrite = false } = {}) {
    const note = await page.evaluate(async (onFirstWrite) => {
        const folder = await navigator.storage.getDirectory();
        await folder.removeEntry("out.zip").catch(() => null);
        window.showSaveFilePicker = async () => {
            const handle = await folder.getFileHandle("out.zip", { create: true });
            if (!onFirstWrite) return handle;
            const createWritable = handle.createWritable.bind(handle);
            handle.createWritable = async (...options) => {
                const writable = await createWritable(...options);
                const writer = writable.getWriter();
                let first = true;
                return new WritableStream({
                    async write(chunk) {
                        if (first) await window.onFirstWrite();
                        first = false;
                        await writer.write(chunk);
                    },
                    close: () => writer.close(),
                    abort: (reason) => writer.abort(reason),
                });
            };
            return handle;
        };
        const done = new Promise((resolve) => document.addEventListener("twinframe-save-done", resolve, { once: true }));
        document.getElementById("saveZip").click();
        await done;
        return document.getElementById("saveNote").textContent;
    }, onFirstWrite);
    return { note, bytes: await privateFileBytes(page, "out.zip") };
}

describe("Save all as .zip", () => {
    let browser;
    let samples;
    let work;

    before(async () => {
        samples = sampleFolder();
        work = mkdtempSync(join(tmpdir(), "twinframe-zip-"));
        browser = await openPage();
    });
    after(async () => {
        await browser?.close();
        rmSync(samples, { recursive: true, force: true });
        rmSync(work, { recursive: true, force: true });
    });

    test("names its entries in UTF-8 from a Unix host, read right by Info-ZIP unzip and Python", async () => {
        const { page } = browser;
        const folder = join(work, "names");
        cpSync(join(samples, "mixed/DSCF0001.MPO"), join(folder, "café stéréo 😀.mpo"));
        cpSync(join(samples, "mixed/burst.mpo"), join(folder, "日本の写真.mpo"));
        const names = readdirSync(folder);
        await pickFiles(page, names.map((name) => join(folder, name)));
        await pressGo(page);
        const { note, bytes } = await saveZipThroughPicker(page);
        assert.match(note, /^Saved out\.zip: 5 images, [\d.]+ MB\.$/);
        const archive = join(work, "names.zip");
        writeFileSync(archive, bytes);

        const expected = cliSplit(folder, names).outputs;
        assert.deepEqual(zipNames(archive).sort(), [...expected.keys()].sort());
        const unpacked = join(work, "unpacked");
        execFileSync("unzip", ["-q", archive, "-d", unpacked], { env: utf8 });
        for (const [name, content] of expected) assert.equal(sha256(readFileSync(join(unpacked, name))), sha256(content), name);

        const python = execFileSync("python3", ["-c", `
import sys, zipfile
for info in zipfile.ZipFile(sys.argv[1]).infolist():
    print(info.filename, info.flag_bits & 0x800, info.create_system, info.compress_type)`, archive], { encoding: "utf8" });
        assert.deepEqual(python.trim().split("\n").sort(), [...expected.keys()].map((name) => `${name} 2048 3 0`).sort());
    });

    test("says that a save failed, never that it worked, when a file cannot be read, and leaves no file", async () => {
        const { page } = browser;
        const folder = join(work, "gone");
        const split = async () => {
            cpSync(join(samples, "mixed/DSCF0001.MPO"), join(folder, "DSCF0001.MPO"));
            cpSync(join(samples, "mixed/burst.mpo"), join(folder, "burst.mpo"));
            await pickFiles(page, [join(folder, "DSCF0001.MPO"), join(folder, "burst.mpo")]);
            await pressGo(page);
        };
        const why = "it was changed, moved or deleted after it was chosen";
        // Gone before the save: said before anything is written.
        await split();
        rmSync(join(folder, "DSCF0001.MPO"));
        let saved = await saveZipThroughPicker(page);
        assert.equal(saved.note, `Save all failed: Cannot write out.zip: cannot read DSCF0001.MPO: ${why}`);
        assert.equal(saved.bytes, null, "the empty file the picker made is removed");

        // Gone while the archive is being written (burst.mpo's images come after DSCF0001's).
        await split();
        await page.exposeFunction("onFirstWrite", () => rmSync(join(folder, "burst.mpo")));
        saved = await saveZipThroughPicker(page, { onFirstWrite: true });
        assert.equal(saved.note, `Save all failed: Cannot write out.zip: cannot read burst.mpo: ${why}`);
        assert.equal(saved.bytes, null, "nothing of the archive is left");

        // Through the downloads (no file to pick): no download is begun.
        await split();
        rmSync(join(folder, "burst.mpo"));
        const downloaded = await allowDownloads(page, work);
        const note = await page.evaluate(async () => {
            await navigator.serviceWorker.ready;
            for (let i = 0; i < 100 && !navigator.serviceWorker.controller; ++i) await new Promise((r) => setTimeout(r, 50));
            delete window.showSaveFilePicker;
            delete Window.prototype.showSaveFilePicker;
            const done = new Promise((resolve) => document.addEventListener("twinframe-save-done", resolve, { once: true }));
            document.getElementById("saveZip").click();
            await done;
            return document.getElementById("saveNote").textContent;
        });
        assert.equal(note, `Save all failed: Cannot make twinframe-images.zip: cannot read burst.mpo: ${why}`);
        await assert.rejects(downloaded("twinframe-images.zip", 2), /no download twinframe-images\.zip/);
    });

    test("into a folder, names the file that went, saves the others, and leaves no empty file", async () => {
        const { page } = browser;
        const folder = join(work, "gone-folder");
        const names = ["DSCF0001.MPO", "burst.mpo"];
        for (const name of names) cpSync(join(samples, "mixed", name), join(folder, name));
        await pickFiles(page, names.map((name) => join(folder, name)));
        await pressGo(page);
        const expected = cliSplit(folder, names).outputs;
        const lost = [...expected.keys()].filter((name) => name.startsWith("burst"));
        rmSync(join(folder, "burst.mpo"));
        // The origin's private folder stands in for the one the user would pick; one image of the
        // file that went was saved there by an earlier run.
        const { files, note } = await saveIntoPrivateFolder(page,
            { name: lost[0], text: "from an earlier run" }, { subfolder: "picked" });
        const kept = [...expected].filter(([name]) => !name.startsWith("burst"));
        assert.deepEqual(new Map(Object.entries(files)), new Map([...kept.map(([name, bytes]) => [name, sha256(bytes)]),
            [lost[0], sha256(Buffer.from("from an earlier run"))]]));
        assert.equal(note, `Saved ${kept.length} of ${expected.size} images in picked.`);
        const log = await page.$$eval("[role=log] p", (entries) => entries.map((entry) => entry.textContent));
        assert.equal(log.at(-1), `Cannot read burst.mpo: it was changed, moved or deleted after it was chosen; not saved: ${lost.join(", ")}`);
        assert.match(log.at(-2), /^Files processed: 2/, "said once");
    });

    test("streams an archive over 4 GiB to the downloads, with Zip64 records unzip -t accepts", async () => {
        const { page } = browser;
        const folder = join(work, "large");
        execFileSync(makeSamples, ["--sparse", folder, "5", "1000"]);
        const names = readdirSync(folder).sort();
        await pickFiles(page, names.map((name) => join(folder, name)));
        const shown = await pressGo(page);
        assert.deepEqual(shown.log.at(-1), ["Files processed: 5", "Total images: 10"]);
        // Where no file can be picked to write to, the page's service worker streams the download.
        await page.evaluate(async () => {
            await navigator.serviceWorker.ready;
            for (let i = 0; i < 100 && !navigator.serviceWorker.controller; ++i) await new Promise((r) => setTimeout(r, 50));
            delete window.showSaveFilePicker;
            delete Window.prototype.showSaveFilePicker;
        });
        const downloaded = await allowDownloads(page, work);
        const done = page.evaluate(() => new Promise((resolve) =>
            document.addEventListener("twinframe-save-done", () => resolve(document.getElementById("saveNote").textContent), { once: true })));
        await page.click("#saveZip");
        assert.match(await done, /^twinframe-images\.zip: 10 images, 5\.2 GB, handed to the browser's downloads\.$/);
        const archive = await downloaded("twinframe-images.zip", 600);
        assert.ok(statSync(archive).size > 2 ** 32, `${statSync(archive).size} bytes`);
        const tested = execFileSync("unzip", ["-t", archive], { encoding: "utf8", maxBuffer: 1 << 20 });
        assert.match(tested, /No errors detected in compressed data/);
        assert.deepEqual(zipNames(archive), names.flatMap((name) => [name.replace(".MPO", "-L.jpg"), name.replace(".MPO", "-R.jpg")]));
        rmSync(archive);
    });
});
