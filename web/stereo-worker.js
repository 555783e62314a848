// Makes a stereo pair's side-by-side picture off the page's thread, with the stereo module
// (twinframe-stereo: the stereo room and libjpeg). The page starts this worker only when the
// viewer first asks for such a picture, so that its first load never carries libjpeg. The
// pictures are read here, as the batch's worker reads the files: the page's thread reads none.
"use strict";

// The one-file page puts the module's script ahead of this one and hands over its WebAssembly,
// gzipped: a third of its size in the page's text.
if (typeof createTwinframeStereo === "undefined") importScripts("twinframe-stereo.js");

async function inlinedWasm() {
    const gzipped = Uint8Array.from(atob(self.twinframeStereoWasmGzip), (c) => c.charCodeAt(0));
    return new Uint8Array(await new Response(new Blob([gzipped]).stream().pipeThrough(new DecompressionStream("gzip"))).arrayBuffer());
}

let answer = null; // what the module said of the pair it was last given
const stereoPromise = (async () => createTwinframeStereo({
    ...(self.twinframeStereoWasmGzip ? { wasmBinary: await inlinedWasm() } : {}),
    onSideBySide: (jpeg, problem, note) => {
        answer = { jpeg, problem, note };
    },
}))();

// The bytes of a picture, or which of the two could not be read (a file changed, moved or
// deleted after it was chosen: the browser says no more than "network error").
async function bytesOf(blob, which) {
    try {
        return new Uint8Array(await blob.arrayBuffer());
    } catch {
        throw { unreadable: which };
    }
}

// { id, left, right: { blob, name }, parallel } -> { id, jpeg, problem, note }, or { id,
// unreadable: "left" | "right" }, or { id, failed: text } when the module could not start.
onmessage = async ({ data: { id, left, right, parallel } }) => {
    try {
        const stereo = await stereoPromise;
        const pictures = [await bytesOf(left.blob, "left"), await bytesOf(right.blob, "right")];
        stereo.pictures = pictures;
        answer = null;
        stereo.ccall("makePageSideBySide", null, ["number", "string", "number", "string", "number"],
            [pictures[0].length, left.name, pictures[1].length, right.name, parallel ? 1 : 0]);
        stereo.pictures = null;
        postMessage({ id, ...answer }, [answer.jpeg.buffer]);
    } catch (error) {
        if (error?.unreadable) postMessage({ id, unreadable: error.unreadable });
        else postMessage({ id, failed: String(error?.message ?? error) });
    }
};
