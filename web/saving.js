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

// Each item: { name, blob, lastModified }. ui.note(text) says how the save went; ui.problem(text)
// adds a message about one file.
export async function saveToFolder(items, ui) {
    let folder;
    try {
        folder = await window.showDirectoryPicker({ id: "twinframe", mode: "readwrite" });
    } catch (error) {
        if (error.name === "AbortError") return;
        throw error;
    }
    // The browser writes each file aside and puts it in place when complete, replacing a file
    // of the same name from an earlier run; the batch never gave two outputs the same name.
    let saved = 0;
    for (const item of items) {
        try {
            const handle = await folder.getFileHandle(item.name, { create: true });
            const writable = await handle.createWritable();
            await item.blob.stream().pipeTo(writable);
            ++saved;
        } catch (error) {
            ui.problem(`Cannot write ${item.name}: ${error.message}`);
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
            yield { name: item.name, input: item.blob, size: item.blob.size, lastModified: new Date(item.lastModified) };
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
    const { stream, counter, piped } = zipStream(items);
    try {
        const writable = await handle.createWritable();
        await Promise.all([stream.pipeTo(writable), piped]);
        checkLength(counter, expected);
    } catch (error) {
        throw new Error(`Cannot write ${handle.name}: ${error.message}`);
    }
    ui.note(`Saved ${handle.name}: ${what}.`);
}

// Elsewhere, the page's service worker answers a download of the archive with the stream, so
// that the browser writes it to the disk as it comes. Says false when the stream cannot be
// handed over (a browser that cannot pass streams between threads).
async function saveThroughDownloads(worker, items, ui, expected, what) {
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
    const url = URL.createObjectURL(archive);
    const link = document.createElement("a");
    link.href = url;
    link.download = zipName;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    ui.note(`${zipName}: ${what}, handed to the browser's downloads.`);
}
