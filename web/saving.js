// Save all: into a folder the user picks (where the browser can write one), or as one .zip.
// The .zip is made as it is written (stored entries: JPEG data does not shrink), with Zip64
// fields past 4 GiB and names marked as UTF-8 from a Unix host, so that Info-ZIP unzip,
// Python's zipfile, Windows Explorer and macOS Archive Utility all read them right. The page
// holds a few chunks of it at a time, whatever its size. A save is said to be done only once
// every byte is written, and a failure is said with the reason.
import { sizeText } from "./lists.js";

const zipName = "twinframe-images.zip";
const downloadStartLimit = 30_000; // ms

export const canPickSaveFile = () => "showSaveFilePicker" in window;

// An image's bytes are read from the file it was split from when they are saved. The browser
// refuses to read a file that was changed, moved or deleted after it was chosen (a card pulled
// out, a folder cleaned up), with no reason worth showing ("network error"): the message names
// that file instead, and what became of it.
class UnreadableInput extends Error {
    constructor(source) {
        super(`cannot read ${source}: it was changed, moved or deleted after it was chosen`);
        this.source = source;
    }
}

// The item's bytes as a stream whose failure to read names the item's source file.
function readItem(item) {
    const reader = item.blob.stream().getReader();
    return new ReadableStream({
        async pull(controller) {
            let chunk;
            try {
                chunk = await reader.read();
            } catch {
                throw new UnreadableInput(item.source);
            }
            if (chunk.done) controller.close();
            else controller.enqueue(chunk.value);
        },
        cancel: (reason) => reader.cancel(reason),
    });
}

// The first source file of items that can no longer be read, or null. Reading one byte of each
// is enough: the browser checks that the file is there and unchanged before it gives any of it.
async function firstUnreadable(items) {
    const checked = new Set();
    for (const item of items) {
        if (checked.has(item.sourceFile)) continue;
        checked.add(item.sourceFile);
        try {
            await item.sourceFile.slice(0, 1).arrayBuffer();
        } catch {
            return item.source;
        }
    }
    return null;
}

const capitalized = (text) => text[0].toUpperCase() + text.slice(1);

// Whether folder holds something of that name (a file, or a folder that a file cannot replace).
const exists = (folder, name) => folder.getFileHandle(name).then(() => true, (error) => error.name !== "NotFoundError");

// Each item: { name, blob, lastModified, source, sourceFile } (source: the name of the file it
// was split from). ui.note(text) says how the save went; ui.problem(text) adds a message about
// one file.
export async function saveToFolder(items, ui) {
    let folder;
    try {
        folder = await window.showDirectoryPicker({ id: "twinframe", mode: "readwrite" });
    } catch (error) {
        if (error.name === "AbortError") return;
        throw error;
    }
    // The browser writes each file aside and puts it in place when complete, replacing a file
    // of the same name from an earlier run; the batch never gave two outputs the same name. A
    // file it failed to write is left as it was, and one the save made (empty until then) goes.
    // A source found unreadable is named once, with its images left unsaved; they are not tried.
    let saved = 0;
    const unreadable = new Set();
    for (const [index, item] of items.entries()) {
        if (unreadable.has(item.source)) continue;
        let made = false;
        try {
            made = !(await exists(folder, item.name));
            const handle = await folder.getFileHandle(item.name, { create: true });
            const writable = await handle.createWritable();
            await readItem(item).pipeTo(writable);
            ++saved;
        } catch (error) {
            if (made) await folder.removeEntry(item.name).catch(() => null);
            if (error instanceof UnreadableInput) {
                unreadable.add(item.source);
                const unsaved = items.slice(index).filter((other) => other.source === item.source).map((other) => other.name);
                ui.problem(`${capitalized(error.message)}; not saved: ${unsaved.join(", ")}`);
            } else {
                ui.problem(`Cannot write ${item.name}: ${error.message}`);
            }
        }
    }
    ui.note(`Saved ${saved} of ${items.length} images in ${folder.name}.`);
}

function zipLength(items) {
    return Number(window.clientZip.predictLength(items.map((item) => ({ name: item.name, size: item.blob.size }))));
}

// The archive as a stream, and a count of the bytes that went through it.
function zipStream(items) {
    async function* entries() {
        for (const item of items)
            yield { name: item.name, input: readItem(item), size: item.blob.size, lastModified: new Date(item.lastModified) };
    }
    const counter = { bytes: 0 };
    let finished;
    counter.finished = new Promise((resolve) => { finished = resolve; });
    const counting = new TransformStream({
        transform(chunk, controller) {
            counter.bytes += chunk.byteLength;
            controller.enqueue(chunk);
        },
        flush() {
            finished();
        },
    });
    const stopping = new AbortController();
    const piped = window.clientZip.makeZip(entries()).pipeTo(counting.writable, { signal: stopping.signal });
    return { stream: counting.readable, counter, piped, stop: (reason) => stopping.abort(reason) };
}

function checkLength(counter, expected) {
    if (counter.bytes !== expected)
        throw new Error(`the archive came out ${counter.bytes} bytes long, not ${expected}`);
}

export async function saveAsZip(items, ui) {
    const expected = zipLength(items);
    const what = `${items.length} images, ${sizeText(expected)}`;
    if (canPickSaveFile()) return saveThroughPicker(items, ui, expected, what);
    const worker = navigator.serviceWorker?.controller;
    if (worker && (await saveThroughDownloads(worker, items, ui, expected, what))) return;
    return saveAsBlob(items, ui, expected, what);
}

// Chromium: the user picks the file; the browser writes beside it and puts it in place only when
// the stream ended well, so a failure leaves no partial archive.
async function saveThroughPicker(items, ui, expected, what) {
    let handle;
    try {
        handle = await window.showSaveFilePicker({
            id: "twinframe-zip",
            suggestedName: zipName,
            types: [{ description: "Zip archive", accept: { "application/zip": [".zip"] } }],
        });
    } catch (error) {
        if (error.name === "AbortError") return;
        throw error;
    }
    ui.note(`Writing ${handle.name}: ${what}...`);
    try {
        const source = await firstUnreadable(items);
        if (source) throw new UnreadableInput(source);
        const { stream, counter, piped } = zipStream(items);
        const writable = await handle.createWritable();
        // Both ends finish (the write given up, on a failure) before the file is looked at. The
        // archive's side tells why first: a file it could not read, or the write that stopped.
        const ends = await Promise.allSettled([piped, stream.pipeTo(writable)]);
        const failed = ends.find((end) => end.status === "rejected");
        if (failed) throw failed.reason;
        checkLength(counter, expected);
    } catch (error) {
        await removeIfEmpty(handle);
        throw new Error(`Cannot write ${handle.name}: ${error.message}`);
    }
    ui.note(`Saved ${handle.name}: ${what}.`);
}

// The browser makes the picked file, empty, before anything is written to it. After a failed
// save it is removed if it is still empty: a file that held something was there before and is
// left as it was.
async function removeIfEmpty(handle) {
    try {
        if ((await handle.getFile()).size === 0) await handle.remove();
    } catch {
        // Gone already, or a browser that cannot remove it: nothing more to do.
    }
}

// Elsewhere, the page's service worker answers a download of the archive with the stream, so
// that the browser writes it to the disk as it comes. Says false when the stream cannot be
// handed over (a browser that cannot pass streams between threads).
async function saveThroughDownloads(worker, items, ui, expected, what) {
    // A download that fails on the way may be left in the downloads, part written: the files are
    // checked first, so that a file gone since the batch stops it before it begins.
    const source = await firstUnreadable(items);
    if (source) throw new Error(`Cannot make ${zipName}: ${new UnreadableInput(source).message}`);
    const { stream, counter, piped, stop } = zipStream(items);
    const id = crypto.randomUUID();
    // The service worker says on this channel when the browser has begun the download.
    const channel = new MessageChannel();
    const begun = new Promise((resolve, reject) => {
        channel.port1.onmessage = resolve;
        setTimeout(() => reject(new Error("the browser did not begin the download")), downloadStartLimit);
    });
    begun.catch(() => null); // seen below, or not needed when the stream cannot be handed over
    try {
        worker.postMessage({ type: "download", id, name: zipName, length: expected, stream, port: channel.port2 },
            [stream, channel.port2]);
    } catch {
        stop();
        piped.catch(() => null);
        return false;
    }
    const frame = document.createElement("iframe");
    frame.hidden = true;
    frame.title = "Download";
    frame.src = `download/${id}/${encodeURIComponent(zipName)}`;
    document.body.append(frame);
    ui.note(`Making ${zipName}: ${what}...`);
    try {
        await begun;
        await piped;
        await counter.finished;
        checkLength(counter, expected);
    } catch (error) {
        stop(error); // the download, if the browser began it, fails too
        piped.catch(() => null);
        throw new Error(`Cannot make ${zipName}: ${error?.message ?? "the download was cancelled"}`);
    } finally {
        setTimeout(() => frame.remove(), 60_000);
    }
    ui.note(`${zipName}: ${what}, handed to the browser's downloads.`);
    return true;
}

// Without either (a page opened from a folder), the archive is gathered as blobs, which the
// browser may keep on the disk, and then downloaded. It is checked whole before it is offered.
async function saveAsBlob(items, ui, expected, what) {
    ui.note(`Making ${zipName}: ${what}...`);
    const { stream, counter, piped } = zipStream(items);
    const parts = [];
    let pending = [];
    let pendingBytes = 0;
    const reader = stream.getReader();
    try {
        for (;;) {
            const { done, value } = await reader.read();
            if (done) break;
            pending.push(value);
            pendingBytes += value.byteLength;
            if (pendingBytes >= 16 * 1024 * 1024) {
                parts.push(new Blob(pending));
                pending = [];
                pendingBytes = 0;
            }
        }
        await piped;
        parts.push(new Blob(pending));
        checkLength(counter, expected);
    } catch (error) {
        piped.catch(() => null);
        throw new Error(`Cannot make ${zipName}: ${error.message}`);
    }
    const archive = new Blob(parts, { type: "application/zip" });
    if (archive.size !== expected)
        throw new Error(`Cannot make ${zipName}: the browser kept ${archive.size} of its ${expected} bytes`);
    download(archive, zipName);
    ui.note(`${zipName}: ${what}, handed to the browser's downloads.`);
}

// Hands a whole file the page holds to the browser's downloads.
function download(blob, name) {
    const url = URL.createObjectURL(blob);
    const link = document.createElement("a");
    link.href = url;
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
}

// A made file that could not be written: its message names the file and the reason.
export class CannotWrite extends Error {}

// One file the page makes when asked (a stereo pair side by side): saved where the user picks,
// where the browser lets them pick, else handed to the browser's downloads once made. The picker
// comes first, as the browser shows it only straight after a click and making the file may take
// longer. make() gives the file's Blob, or throws when it cannot be made; then, as when the
// write fails, no file is left: the picked one, empty until then, is removed (one that held
// something was there before, and stays as it was). type: the picker's { description, accept }.
// Gives where the file went ({ name, picked }), or null when the user cancelled the picker.
export async function saveMadeFile(name, type, make) {
    if (!canPickSaveFile()) {
        download(await make(), name);
        return { name, picked: false };
    }
    let handle;
    try {
        handle = await window.showSaveFilePicker({ suggestedName: name, types: [type] });
    } catch (error) {
        if (error.name === "AbortError") return null;
        throw error;
    }
    let blob;
    try {
        blob = await make();
    } catch (error) {
        await removeIfEmpty(handle);
        throw error;
    }
    try {
        const writable = await handle.createWritable();
        await blob.stream().pipeTo(writable);
    } catch (error) {
        await removeIfEmpty(handle);
        throw new CannotWrite(`Cannot write ${handle.name}: ${error.message}`);
    }
    return { name: handle.name, picked: true };
}
