// Reads of the page's files for the core, without piling up memory: WORKERFS reads each block
// with FileReaderSync, which hands back a fresh buffer every time, and over a batch those add
// up to hundreds of MiB before the collector frees them. Here the worker reads each block from
// the File's stream into one buffer that is used again and again, while the core waits for it
// (Asyncify unwinds the core at the read and rewinds it when the bytes are in).
//
// Included in the core's JavaScript (--pre-js), where FS and Asyncify are in scope.
Module["readFilesAsynchronously"] = function () {
    var spare = new ArrayBuffer(256 * 1024);
    var arrived = null;

    async function readInto(blob, position, length) {
        if (spare.byteLength < length) spare = new ArrayBuffer(length);
        var part = blob.slice(position, position + length);
        var reader;
        try {
            reader = part.stream().getReader({ mode: "byob" });
        } catch (noByteStreams) {
            // A browser whose file streams cannot fill a given buffer: one fresh buffer a read.
            return new Uint8Array(await part.arrayBuffer());
        }
        var buffer = spare;
        var got = 0;
        try {
            while (got < length) {
                var result = await reader.read(new Uint8Array(buffer, got, length - got));
                if (result.value) buffer = result.value.buffer;
                if (result.done) break;
                got += result.value.byteLength;
            }
        } finally {
            reader.cancel().catch(function () {});
        }
        spare = buffer.byteLength ? buffer : new ArrayBuffer(length);
        return new Uint8Array(spare, 0, got);
    }

    FS.filesystems.WORKERFS.stream_ops.read = function (stream, buffer, offset, length, position) {
        if (position >= stream.node.size) return 0;
        // Called twice: once to start the read (the core then unwinds), once when the core is
        // rewound, to hand over what arrived.
        var size = Asyncify.handleSleep(function (wakeUp) {
            arrived = null;
            readInto(stream.node.contents, position, length).then(
                function (bytes) {
                    arrived = bytes;
                    wakeUp(bytes.length);
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
