// Save all as .zip: names that every unzip reads right, the archive streamed to the downloads,
// archives past 4 GiB (Zip64), and a failure said as one. Save all into a folder, when a file has gone.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { closeSync, cpSync, ftruncateSync, mkdtempSync, openSync, readFileSync, readSync, readdirSync, rmSync, statSync, writeFileSync,
    writeSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, join } from "node:path";
import { crc32 } from "node:zlib";
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

// The note the page shows once the save it is about to begin is done.
const saveNoteWhenDone = (page) => page.evaluate(() => new Promise((resolve) =>
    document.addEventListener("twinframe-save-done", () => resolve(document.getElementById("saveNote").textContent), { once: true })));

// Where no file can be picked to write to, the page's service worker streams the download.
const withoutFilePicker = (page) => page.evaluate(async () => {
    await navigator.serviceWorker.ready;
    for (let i = 0; i < 100 && !navigator.serviceWorker.controller; ++i) await new Promise((r) => setTimeout(r, 50));
    delete window.showSaveFilePicker;
    delete Window.prototype.showSaveFilePicker;
});

// Clicks Save all as .zip with the file picker answered by a file whose writable hands every
// 4 KiB of the archive that is not all zeros to this process, which writes it at its offset in
// archive (a new file, made as long as the archive): the same bytes, with the zeros as holes.
// Gives the note the page shows.
async function saveZipAsSparseFile(page, archive) {
    const fd = openSync(archive, "wx");
    try {
        await page.exposeFunction("keepArchiveBlocks", (blocks) => {
            for (const [offset, base64] of blocks) {
                const bytes = Buffer.from(base64, "base64");
                writeSync(fd, bytes, 0, bytes.length, offset);
            }
        });
        await page.exposeFunction("archiveEnds", (length) => ftruncateSync(fd, length));
        return await page.evaluate(async (name) => {
            const base64 = (bytes) => {
                let text = "";
                for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
                return btoa(text);
            };
            const allZero = (bytes) => {
                const whole = bytes.byteOffset % 4 === 0 ? bytes.length >> 2 : 0;
                const words = new Uint32Array(bytes.buffer, bytes.byteOffset, whole);
                for (let i = 0; i < words.length; ++i) if (words[i] !== 0) return false;
                for (let i = whole * 4; i < bytes.length; ++i) if (bytes[i] !== 0) return false;
                return true;
            };
            window.showSaveFilePicker = async () => ({
                name,
                createWritable: async () => {
                    let offset = 0;
                    let blocks = [];
                    let pending = 0;
                    const send = async () => {
                        await window.keepArchiveBlocks(blocks);
                        blocks = [];
                        pending = 0;
                    };
                    return new WritableStream({
                        async write(chunk) {
                            const bytes = new Uint8Array(chunk.buffer ?? chunk, chunk.byteOffset ?? 0, chunk.byteLength);
                            for (let start = 0; start < bytes.length; start += 4096) {
                                const block = bytes.subarray(start, start + 4096);
                                if (allZero(block)) continue;
                                blocks.push([offset + start, base64(block)]);
                                pending += block.length;
                            }
                            offset += bytes.length;
                            if (pending >= 1 << 20) await send();
                        },
                        async close() {
                            await send();
                            await window.archiveEnds(offset);
                        },
                    });
                },
                getFile: async () => new File([], name),
                remove: async () => {},
            });
            const done = new Promise((resolve) => document.addEventListener("twinframe-save-done", resolve, { once: true }));
            document.getElementById("saveZip").click();
            await done;
            return document.getElementById("saveNote").textContent;
        }, basename(archive));
    } finally {
        closeSync(fd);
    }
}

// The CRC-32 of length bytes of the file at path from offset, read in blocks.
function fileCrc(path, offset, length) {
    const fd = openSync(path, "r");
    try {
        const buffer = Buffer.alloc(16 << 20);
        let crc = 0;
        for (let done = 0; done < length;) {
            const read = readSync(fd, buffer, 0, Math.min(buffer.length, length - done), offset + done);
            if (read === 0) throw new Error(`${path} ends before ${offset + length}`);
            crc = crc32(buffer.subarray(0, read), crc);
            done += read;
        }
        return crc;
    } finally {
        closeSync(fd);
    }
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

    test("streams its archive to the downloads through the service worker, whole", async () => {
        const { page } = browser;
        const folder = join(samples, "mixed");
        const names = ["DSCF0001.MPO", "DSCF0002.MPO", "burst.mpo"];
        await pickFiles(page, names.map((name) => join(folder, name)));
        await pressGo(page);
        const downloaded = await allowDownloads(page, work);
        await withoutFilePicker(page);
        const done = saveNoteWhenDone(page);
        await page.click("#saveZip");
        assert.match(await done, /^twinframe-images\.zip: 7 images, [\d.]+ MB, handed to the browser's downloads\.$/);
        assert.ok(browser.requests.some((url) => /\/download\/[0-9a-f-]+\/twinframe-images\.zip$/.test(url)),
            "the download asked of the service worker");
        const archive = await downloaded("twinframe-images.zip", 60);
        assert.match(execFileSync("unzip", ["-t", archive], { encoding: "utf8" }), /No errors detected in compressed data/);
        const expected = cliSplit(folder, names).outputs;
        assert.deepEqual(zipNames(archive).sort(), [...expected.keys()].sort());
        const unpacked = join(work, "downloaded");
        execFileSync("unzip", ["-q", archive, "-d", unpacked]);
        for (const [name, content] of expected) assert.equal(sha256(readFileSync(join(unpacked, name))), sha256(content), name);
        rmSync(archive);
    });

    // The page's own archive of 10 images, 5.2 GB, through the same writer the downloads get.
    // It is copied to the disk as a sparse file (the page's zeros left as holes), so that the
    // archive itself is checked whole by two independent readers without 5 GB to write and read.
    test("makes an archive over 4 GiB with Zip64 records that unzip -t and Python read right", async () => {
        const { page } = browser;
        const folder = join(work, "large");
        const mib = 1000;
        execFileSync(makeSamples, ["--sparse", folder, "5", String(mib)]);
        const names = readdirSync(folder).sort();
        await pickFiles(page, names.map((name) => join(folder, name)));
        const shown = await pressGo(page, { withLinks: false });
        assert.deepEqual(shown.log.at(-1), ["Files processed: 5", "Total images: 10"]);
        const archive = join(work, "large.zip");
        const note = await saveZipAsSparseFile(page, archive);
        assert.equal(note, "Saved large.zip: 10 images, 5.2 GB.");
        assert.ok(statSync(archive).size > 2 ** 32, `${statSync(archive).size} bytes`);

        const tested = execFileSync("unzip", ["-t", archive], { encoding: "utf8", maxBuffer: 1 << 20 });
        assert.match(tested, /No errors detected in compressed data/);
        assert.deepEqual(zipNames(archive), names.flatMap((name) => [name.replace(".MPO", "-L.jpg"), name.replace(".MPO", "-R.jpg")]));
        // Each entry: the right bytes of its file (its size and CRC-32 as the central directory
        // gives them, which unzip -t checked the data against), and where its local header is.
        // The last entries begin past 4 GiB, where only a Zip64 field can say where.
        const listed = JSON.parse(execFileSync("python3", ["-c", `
import json, sys, zipfile
print(json.dumps([[i.filename, i.file_size, i.CRC, i.header_offset] for i in zipfile.ZipFile(sys.argv[1]).infolist()]))`,
        archive], { encoding: "utf8" }));
        const half = (mib * 1024 * 1024) / 2;
        const expected = names.flatMap((name) => [[name.replace(".MPO", "-L.jpg"), half, fileCrc(join(folder, name), 0, half)],
            [name.replace(".MPO", "-R.jpg"), half, fileCrc(join(folder, name), half, half)]]);
        assert.deepEqual(listed.map(([name, size, crc]) => [name, size, crc]), expected);
        assert.ok(listed.at(-1)[3] > 2 ** 32, `the last entry at ${listed.at(-1)[3]}`);
        const fd = openSync(archive, "r");
        try {
            for (const [name, , , offset] of listed) {
                const header = Buffer.alloc(30 + Buffer.byteLength(name));
                readSync(fd, header, 0, header.length, offset);
                assert.equal(header.readUInt32LE(0), 0x04034b50, `${name}'s local header at ${offset}`);
                assert.equal(header.subarray(30).toString(), name);
            }
        } finally {
            closeSync(fd);
        }
        rmSync(archive);
        rmSync(folder, { recursive: true, force: true });
    });
});
