// Reads of the page's files for the core, without piling up memory: WORKERFS reads each block
// with FileReaderSync, whose buffers, over a batch, added up to some 200 MiB more in the page
// before the collector freed them. Here each block is read asynchronously while the core waits
// for it (Asyncify unwinds the core at the read and rewinds it when the bytes are in), which the
// collector keeps up with better: measured, about a quarter less growth at the same speed.
// (Reading into one reused buffer from the File's stream grew nothing at all, but now and then
// one of its reads never ended in Chromium.)
//
// Included in the core's JavaScript (--pre-js), where FS and Asyncify are in scope.
Module["readFilesAsynchronously"] = function () {
    var arrived = null;

    FS.filesystems.WORKERFS.stream_ops.read = function (stream, buffer, offset, length, position) {
        if (position >= stream.node.size) return 0;
        // Called twice: once to start the read (the core then unwinds), once when the core is
        // rewound, to hand over what arrived.
        var size = Asyncify.handleSleep(function (wakeUp) {
            arrived = null;
            stream.node.contents.slice(position, position + length).arrayBuffer().then(
                function (bytes) {
                    arrived = new Uint8Array(bytes);
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
