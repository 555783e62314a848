// Reads of the page's files for the core. Each block is read asynchronously while the core waits
// for it: Asyncify unwinds the core at the read and rewinds it when the bytes are in.
//
// The bytes are read into a few buffers, reused from read to read (a byte stream's "BYOB"
// reader), so that the reads leave no buffers behind: WORKERFS's FileReaderSync, and
// Blob.arrayBuffer() after it, gave every read a buffer of its own, and over a batch of 200
// files these piled up by tens of MiB in the page before the collector freed them. Where a
// browser's Blob streams have no such reader, each read gets its own buffer as before.
//
// Every read of a File costs the browser about a millisecond however few bytes it asks for, and
// the browser can serve a few at once; the core opens every file by reading its start, so while
// it works on one file the starts of the next ones are already being read.
//
// Included in the core's JavaScript (--pre-js), where FS and Asyncify are in scope.
var collectionReads = 100; // a collection at least every 100 reads
var collectionBytes = 16 * 1024 * 1024; // and every 16 MiB read
var collectionNudgeBytes = 256 * 1024 * 1024;
var headFirstRead = 64 * 1024; // what the core reads first of a file (kHeadFirstRead)

// The files are the page's: each a File and its size, as found when it was listed, since asking a
// File for its size or a slice of it waits for the browser's process (a millisecond or more).
Module["readFilesAsynchronously"] = function (batchFiles) {
    var startsAhead = 2; // files whose starts are read ahead of the core
    var order = new Map(batchFiles.map(function (file, i) { return [file, i]; }));
    var early = new Map(); // File -> { length, bytes } of a start read ahead
    var spares = []; // buffers back from the core
    // The reads under way, each with its blob and stream reader. A read waited for only by
    // promises is, to the collector, a cycle that nothing refers to, and Chromium collects it
    // mid-read: the read never ends and the batch is stuck for good (seen after a few thousand
    // reads, once the collector runs). Holding them here until each is over prevents it.
    var underWay = new Set();
    var arrived = null;
    var readsSinceCollection = 0;
    var bytesSinceCollection = 0;

    // What each read leaves behind (its blob, stream and promises: some KiB each, and the
    // browser's side of the stream, as large as the read, until they are collected) is garbage
    // the collector is in no hurry to take: over thousands of files, or hundreds scanned, it
    // piled up by tens of MiB. A page cannot ask for a collection, but a large buffer, made and
    // dropped at once, makes the browser run one. Its memory is never written, so it costs
    // address space, not memory.
    function collectNowAndThen(length) {
        bytesSinceCollection += length;
        if (++readsSinceCollection < collectionReads && bytesSinceCollection < collectionBytes) return;
        readsSinceCollection = 0;
        bytesSinceCollection = 0;
        try {
            // Through the module: the build drops a buffer that nothing holds, even for a moment.
            Module["collectionNudge"] = new ArrayBuffer(collectionNudgeBytes);
            Module["collectionNudge"] = null;
        } catch (noRoom) {
            // Not that much address space to spare: the collector keeps its own pace.
        }
    }

    function takeBuffer(length) {
        var buffer = spares.pop();
        return buffer && buffer.byteLength >= length ? buffer : new ArrayBuffer(Math.max(length, 65536));
    }

    function giveBack(bytes) {
        if (spares.length <= startsAhead) spares.push(bytes.buffer);
    }

    // Resolves to a view of the bytes read, in a buffer of its own until given back. A file
    // read whole is read with no slice.
    async function readBytes(file, position, length) {
        collectNowAndThen(length);
        var blob = position === 0 && length >= file.size ? file.file : file.file.slice(position, position + length);
        var reader;
        try {
            reader = blob.stream().getReader({ mode: "byob" });
        } catch (notAByteStream) {
            return new Uint8Array(await blob.arrayBuffer());
        }
        var buffer = takeBuffer(length);
        var got = 0;
        var read = { blob: blob, reader: reader };
        underWay.add(read);
        try {
            while (got < length) {
                // The buffer is handed to the stream and comes back with the bytes in it.
                var chunk = await reader.read(new Uint8Array(buffer, got, length - got));
                if (chunk.value) buffer = chunk.value.buffer;
                if (chunk.done) break;
                got += chunk.value.byteLength;
            }
        } finally {
            underWay.delete(read);
            // Closes the stream now rather than when the collector comes across it.
            reader.cancel().catch(function () {});
        }
        return new Uint8Array(buffer, 0, got);
    }

    // A file's first bytes, read ahead if they were; the next files' starts are sent for, as much
    // of each as the core asked of this one, and at least what it first reads of a file (all of a
    // smaller one, which is then read with no slice).
    function readStart(file, length, asked) {
        var ahead = early.get(file);
        early.delete(file);
        var start = ahead && ahead.length === length ? ahead.bytes : readBytes(file, 0, length);
        var next = order.has(file) ? order.get(file) + 1 : batchFiles.length;
        for (var i = next; i < Math.min(next + startsAhead, batchFiles.length); ++i) {
            var later = batchFiles[i];
            if (early.has(later)) continue;
            var wanted = Math.min(Math.max(asked, headFirstRead), later.size);
            var pending = readBytes(later, 0, wanted);
            pending.catch(function () {}); // a failure shows when the core reads the file
            early.set(later, { length: wanted, bytes: pending });
        }
        return start;
    }

    // The last file read whole, if small: the core reads a few bytes of it again (where its next
    // image starts), which are handed over from here at once.
    var lastWhole = null;
    var wholeKept = 256 * 1024;

    FS.filesystems.WORKERFS.stream_ops.read = function (stream, buffer, offset, length, position) {
        if (position >= stream.node.size) return 0;
        var kept = lastWhole && lastWhole.file === stream.node.contents ? lastWhole.bytes : null;
        if (kept && Asyncify.state === Asyncify.State.Normal) {
            var part = kept.subarray(position, position + length);
            buffer.set(part, offset);
            return part.byteLength;
        }
        // Called twice: once to start the read (the core then unwinds), once when the core is
        // rewound, to hand over what arrived.
        var size = Asyncify.handleSleep(function (wakeUp) {
            arrived = null;
            var file = stream.node.contents;
            var wanted = Math.min(length, file.size - position);
            var read = position === 0 ? readStart(file, wanted, length) : readBytes(file, position, wanted);
            read.then(
                function (bytes) {
                    arrived = bytes;
                    wakeUp(bytes.byteLength);
                },
                function () {
                    wakeUp(-1);
                });
        });
        if (Asyncify.state !== Asyncify.State.Normal) return 0; // unwinding: the result is unused
        if (size < 0 || !arrived) throw new FS.ErrnoError(29); // EIO
        buffer.set(arrived, offset);
        var file = stream.node.contents;
        if (position === 0 && size === file.size && size <= wholeKept) lastWhole = { file: file, bytes: arrived.slice() };
        giveBack(arrived);
        arrived = null;
        return size;
    };
};
