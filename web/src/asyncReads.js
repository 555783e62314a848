// Reads of the page's files for the core. Each block is read asynchronously while the core waits
// for it: Asyncify unwinds the core at the read and rewinds it when the bytes are in.
//
// The bytes are read into one buffer, reused from read to read (a byte stream's "BYOB" reader),
// so that a batch leaves no garbage behind: WORKERFS's FileReaderSync, and Blob.arrayBuffer()
// after it, gave every read a buffer of its own, and over a batch of 200 files these piled up
// by tens of MiB in the page before the collector freed them. Where a browser's Blob streams
// have no such reader, each read gets its own buffer as before.
//
// Included in the core's JavaScript (--pre-js), where FS and Asyncify are in scope.
Module["readFilesAsynchronously"] = function () {
    var spare = new ArrayBuffer(64 * 1024); // grows to the largest block read
    var arrived = null;

    // Resolves to a view of the bytes read, valid until the next read.
    async function readBytes(file, position, length) {
        var blob = file.slice(position, position + length);
        var reader;
        try {
            reader = blob.stream().getReader({ mode: "byob" });
        } catch (notAByteStream) {
            return new Uint8Array(await blob.arrayBuffer());
        }
        var buffer = spare.byteLength >= length ? spare : new ArrayBuffer(length);
        var got = 0;
        try {
            while (got < length) {
                // The buffer is handed to the stream and comes back with the bytes in it.
                var chunk = await reader.read(new Uint8Array(buffer, got, length - got));
                if (chunk.value) buffer = chunk.value.buffer;
                if (chunk.done) break;
                got += chunk.value.byteLength;
            }
        } finally {
            // Closes the stream at once, rather than when the collector comes across it: an
            // open one holds the browser's buffer for its blob's bytes, 64 KiB a file.
            reader.cancel().catch(function () {});
        }
        spare = buffer;
        return new Uint8Array(buffer, 0, got);
    }

    FS.filesystems.WORKERFS.stream_ops.read = function (stream, buffer, offset, length, position) {
        if (position >= stream.node.size) return 0;
        // Called twice: once to start the read (the core then unwinds), once when the core is
        // rewound, to hand over what arrived.
        var size = Asyncify.handleSleep(function (wakeUp) {
            arrived = null;
            readBytes(stream.node.contents, position, length).then(
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
        arrived = null;
        return size;
    };
};
