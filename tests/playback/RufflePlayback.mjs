// Our files as Ruffle, today's Flash player, plays them: each case converts
// a generated AVI, plays the FLV through NetStream in Ruffle's web build
// under headless Chromium, and compares every displayed frame with FFmpeg's
// decoding of the same file, pixel for pixel. Ruffle's clock is the page's
// fake clock, stepped by the test, so frame N is always shown at the same
// stream time; sound is heard through a tap in front of Web Audio's output.
//
//   node RufflePlayback.mjs --cli QUORVANE_CLI --work DIR --modules NODE_MODULES
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import { createRequire } from "node:module";
import path from "node:path";
import { after, before, test } from "node:test";
import { parseArgs } from "node:util";

import { playerSwf } from "./PlayerSwf.mjs";

const { values: Arguments } = parseArgs({
    options: { cli: { type: "string" }, work: { type: "string" }, modules: { type: "string" } },
});
const requireModule = createRequire(path.join(path.resolve(Arguments.modules), "any.js"));
const { chromium } = requireModule("playwright-core");
const RuffleFiles = path.dirname(requireModule.resolve("@ruffle-rs/ruffle/ruffle.js"));
const RuffleVersion = requireModule("@ruffle-rs/ruffle/package.json").version;
const Chromium = "/usr/bin/chromium";
// Above the page's 62.5 animation frames a second, so that every tick of
// Ruffle's clock runs a movie frame and draws the stage.
const MovieFrameRate = 100;
const Work = path.resolve(Arguments.work);

const Screen = "testsrc2=size=320x240:rate=10:duration=2";
// Every pixel changes in every frame, as in camera video.
const Motion = "color=size=320x240:rate=10:duration=2,format=rgb24," +
               "geq=r='mod(X+8*N,256)':g='mod(Y+5*N,256)':b='mod(X+Y+3*N,256)'";
const Inputs = {
    "screen.avi": ["-f", "lavfi", "-i", Screen, "-c:v", "rawvideo", "-pix_fmt", "bgr24"],
    "odd.avi": ["-f", "lavfi", "-i", "testsrc2=size=333x197:rate=10:duration=2", "-c:v",
                "rawvideo", "-pix_fmt", "bgr24"],
    "motion.avi": ["-f", "lavfi", "-i", Motion, "-c:v", "rawvideo", "-pix_fmt", "bgr24"],
    // The last 0.5 s unchanged: they end in one tag that sends no block.
    "still-end.avi": ["-f", "lavfi", "-i",
                      "testsrc2=size=320x240:rate=10:duration=1.5,tpad=stop_mode=clone:stop_duration=0.5",
                      "-c:v", "rawvideo", "-pix_fmt", "bgr24"],
    "tone-1000.mp3": ["-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=44100:duration=2",
                      "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k"],
    "tone-700.avi": ["-f", "lavfi", "-i", Screen, "-f", "lavfi", "-i",
                     "sine=frequency=700:sample_rate=44100:duration=2", "-c:v", "rawvideo",
                     "-pix_fmt", "bgr24", "-ac", "2", "-c:a", "pcm_s16le"],
};

// Tone: the frequency that must reach the audio output, in Hz. LastTime:
// the last video tag's, in ms.
const Cases = [
    { Name: "defaults", Input: "screen.avi", Options: [] },
    { Name: "16x16 blocks", Input: "screen.avi", Options: ["--block", "16x16"] },
    { Name: "256x256 blocks", Input: "screen.avi", Options: ["--block", "256x256"] },
    { Name: "odd size 333x197", Input: "odd.avi", Options: [] },
    { Name: "bitrate mode", Input: "screen.avi", Options: ["--mode", "bitrate", "--bitrate", "100"] },
    { Name: "quality mode", Input: "screen.avi", Options: ["--mode", "quality"] },
    { Name: "key-frame interval", Input: "screen.avi", Options: ["--keyframe-interval", "500"] },
    { Name: "full-motion video", Input: "motion.avi", Options: [] },
    { Name: "a still end", Input: "still-end.avi", Options: [], LastTime: 1900 },
    { Name: "MP3 sound track", Input: "screen.avi", Options: ["--audio", "tone-1000.mp3"],
      Tone: 1000 },
    { Name: "metadata", Input: "screen.avi", Options: ["--metadata", "--keyframe-interval", "500"] },
    { Name: "the AVI's own sound", Input: "tone-700.avi", Options: ["--audio", "avi"], Tone: 700 },
    { Name: "cropped and resized", Input: "screen.avi",
      Options: ["--crop", "201:151:37:29", "--size", "300x"] },
];

function input(Name) {
    const File = path.join(Work, Name);
    if (!fs.existsSync(File)) {
        const Part = `${File}.part${path.extname(Name)}`;
        execFileSync("ffmpeg", ["-v", "error", "-y", ...Inputs[Name], "-fflags", "+bitexact", Part]);
        fs.renameSync(Part, File);
    }
    return File;
}

// Times and frame bytes of the video tags, and the picture size.
function videoTags(Flv) {
    const Tags = [];
    let Width = 0;
    let Height = 0;
    for (let Offset = 13; Offset + 11 <= Flv.length;) {
        const Size = Flv.readUIntBE(Offset + 1, 3);
        if (Flv[Offset] === 9) {
            const Time = Flv.readUIntBE(Offset + 4, 3) | (Flv[Offset + 7] << 24);
            Tags.push({ Time, FrameByte: Flv[Offset + 11] });
            Width = Flv.readUInt16BE(Offset + 12) & 0xfff;
            Height = Flv.readUInt16BE(Offset + 14) & 0xfff;
        }
        Offset += 11 + Size + 4;
    }
    return { Tags, Width, Height };
}

// One RGBA picture per video tag, as FFmpeg decodes them.
function ffmpegFrames(Flv) {
    return execFileSync("ffmpeg", ["-v", "error", "-i", Flv, "-map", "0:v", "-fps_mode",
                                   "passthrough", "-f", "rawvideo", "-pix_fmt", "rgba", "-"],
                        { maxBuffer: 1 << 30 });
}

// The test's own web server: Ruffle's files, the page, the player movie and
// each case's files, registered by path.
const Files = new Map();
const Types = { ".js": "text/javascript", ".wasm": "application/wasm", ".html": "text/html" };
const Server = http.createServer((Request, Response) => {
    const Url = new URL(Request.url, "http://127.0.0.1");
    let Body = Files.get(Url.pathname);
    if (Body === undefined && Url.pathname.startsWith("/ruffle/")) {
        const File = path.join(RuffleFiles, path.basename(Url.pathname));
        Body = fs.existsSync(File) ? fs.readFileSync(File) : undefined;
    }
    if (Body === undefined) {
        Response.writeHead(404).end();
        return;
    }
    const Type = Types[path.extname(Url.pathname)] ?? "application/octet-stream";
    Response.writeHead(200, { "Content-Type": Type, "Content-Length": Body.length }).end(Body);
});

// Runs in the page before Ruffle: a tap on every connection to an audio
// output.
function pageSetUp() {
    window.audioTaps = [];
    const Connect = AudioNode.prototype.connect;
    AudioNode.prototype.connect = function (Target, ...Rest) {
        if (Target instanceof AudioDestinationNode) {
            const Context = Target.context;
            if (!Context.audioTap) {
                Context.audioTap = Context.createAnalyser();
                Context.audioTap.fftSize = 8192;
                window.audioTaps.push(Context.audioTap);
            }
            Connect.call(this, Context.audioTap);
        }
        return Connect.call(this, Target, ...Rest);
    };
}

function pageHtml(Prefix, Width, Height) {
    const Config = {
        polyfills: false, autoplay: "on", unmuteOverlay: "hidden", splashScreen: false,
        preferredRenderer: "canvas", letterbox: "off", scale: "noScale", forceScale: true,
        salign: "TL", forceAlign: true, contextMenu: "off", allowScriptAccess: true,
        publicPath: "/ruffle/", logLevel: "warn",
    };
    return `<!doctype html>
<html><head><style>html, body { margin: 0; } #player { width: ${Width}px; height: ${Height}px; }
</style></head><body><script src="/ruffle/ruffle.js"></script><script>
const player = window.RufflePlayer.newest().createPlayer();
player.id = "player";
document.body.appendChild(player);
player.traceObserver = (Message) => console.log("trace: " + Message);
player.ruffle().load({ url: "${Prefix}player.swf", parameters: { flv: "${Prefix}out.flv" },
                       ...${JSON.stringify(Config)} });
</script></body></html>`;
}

// Compares the stage with FFmpeg's frame Index, held by the page.
function compareWithFrame(Index) {
    const Canvas = document.getElementById("player").shadowRoot.querySelector("canvas");
    const Shown = Canvas.getContext("2d").getImageData(0, 0, Canvas.width, Canvas.height).data;
    const Size = Canvas.width * Canvas.height * 4;
    const Expected = window.expectedFrames.subarray(Index * Size, (Index + 1) * Size);
    let Differing = 0;
    let First = null;
    for (let Byte = 0; Byte < Size; Byte += 4) {
        if (Shown[Byte] !== Expected[Byte] || Shown[Byte + 1] !== Expected[Byte + 1] ||
            Shown[Byte + 2] !== Expected[Byte + 2]) {
            if (First === null) {
                const Pixel = Byte / 4;
                First = { X: Pixel % Canvas.width, Y: Math.floor(Pixel / Canvas.width),
                          Shown: [...Shown.subarray(Byte, Byte + 3)],
                          Expected: [...Expected.subarray(Byte, Byte + 3)] };
            }
            ++Differing;
        }
    }
    return { Width: Canvas.width, Height: Canvas.height, Differing, First };
}

// The strongest frequency at the audio output now, and its level in dB.
function loudestFrequency() {
    let Loudest = { Frequency: 0, Level: -Infinity };
    for (const Tap of window.audioTaps) {
        const Levels = new Float32Array(Tap.frequencyBinCount);
        Tap.getFloatFrequencyData(Levels);
        Levels.forEach((Level, Bin) => {
            if (Level > Loudest.Level) {
                Loudest = { Frequency: Bin * Tap.context.sampleRate / Tap.fftSize, Level };
            }
        });
    }
    return Loudest;
}

let Browser;

before(async () => {
    fs.mkdirSync(Work, { recursive: true });
    await new Promise((Resolve) => Server.listen(0, "127.0.0.1", Resolve));
    // As root without the sandbox; no traffic beyond 127.0.0.1; sound
    // without a click. Each launch gets a fresh profile directory.
    Browser = await chromium.launch({
        executablePath: Chromium,
        headless: true,
        args: ["--no-sandbox", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--no-first-run", "--disable-quic",
               "--autoplay-policy=no-user-gesture-required"],
    });
    console.log(`Ruffle ${RuffleVersion} (@ruffle-rs/ruffle), Chromium ${Browser.version()}`);
});

after(async () => {
    await Browser?.close();
    Server.close();
});

const sleep = (Milliseconds) => new Promise((Resolve) => setTimeout(Resolve, Milliseconds));

// Loads the page with the clock running until the whole file has arrived
// in the paused stream, then stops the clock.
async function openPaused(Page, Url) {
    await Page.clock.install({ time: 0 });
    await Page.goto(Url);
    const Deadline = Date.now() + 60000;
    const loaded = () => {
        const Player = document.getElementById("player");
        return typeof Player.bytesTotal === "function" && Player.bytesTotal() > 0 &&
               Player.bytesLoaded() === Player.bytesTotal();
    };
    while (!(await Page.evaluate(loaded))) {
        assert.ok(Date.now() < Deadline, "Ruffle did not load the file within 60 s");
        await sleep(20);
    }
    // On an animation frame's time (the fake clock runs them every 16 ms),
    // so that stream times are multiples of 16 ms from 0 in every run.
    const Now = await Page.evaluate(() => Date.now());
    await Page.clock.pauseAt(Math.ceil((Now + 1000) / 16) * 16);
}

const streamTime = (Page) =>
    Page.evaluate(() => Math.round(document.getElementById("player").streamTime() * 1000));

// Steps the clock until the stream reaches Target ms or stops; returns the
// stream time.
async function advanceTo(Page, Target) {
    let Time = await streamTime(Page);
    for (let Before = -1; Time < Target && Time > Before;) {
        Before = Time;
        await Page.clock.runFor(Math.max(16, Math.round(Target - Time)));
        Time = await streamTime(Page);
    }
    return Time;
}

function describeMismatch(Frame, Tag, Time, Result) {
    return `frame ${Frame} at ${Tag.Time} ms (frame byte 0x${Tag.FrameByte.toString(16)}, ` +
           `stream time ${Time} ms): ${Result.Differing} pixels differ, the first at ` +
           `(${Result.First.X}, ${Result.First.Y}): Ruffle ${Result.First.Shown} where FFmpeg ` +
           `has ${Result.First.Expected}`;
}

// Plays the file in a fresh page and compares each video tag's picture, at
// a stream time between its own and the next one's. Returns the mismatches,
// the loudest sound heard and Ruffle's errors and status events.
async function playInRuffle(Prefix, Tags, Width, Height, Tone) {
    const Page = await Browser.newPage({ viewport: { width: Width, height: Height },
                                         deviceScaleFactor: 1 });
    const Messages = [];
    Page.on("console", (Message) => {
        const Text = Message.text().replaceAll("%c", "").replace(/ color: .*$/, "");
        if (/ERROR|status /.test(Text)) {
            Messages.push(Text);
        }
    });
    try {
        await Page.addInitScript(pageSetUp);
        await openPaused(Page, `http://127.0.0.1:${Server.address().port}${Prefix}index.html`);
        await Page.evaluate(async (Url) => {
            window.expectedFrames = new Uint8Array(await (await fetch(Url)).arrayBuffer());
        }, `${Prefix}expected.rgba`);
        await Page.evaluate(() => document.getElementById("player").resume());
        const Mismatches = [];
        let Loudest = { Frequency: 0, Level: -Infinity };
        const listen = async () => {
            const Now = await Page.evaluate(loudestFrequency);
            Loudest = Now.Level > Loudest.Level ? Now : Loudest;
        };
        for (const [Frame, Tag] of Tags.entries()) {
            // The stream stops after its last tag, so that one is shown as
            // soon as it is past.
            const Last = Frame + 1 === Tags.length;
            const Next = Last ? Infinity : Tags[Frame + 1].Time;
            const Time = await advanceTo(Page, Last ? Tag.Time + 1 : (Tag.Time + Next) / 2);
            assert.ok(Time > Tag.Time && Time < Next,
                      `frame ${Frame} (${Tag.Time} ms) shown at stream time ${Time} ms`);
            const Result = await Page.evaluate(compareWithFrame, Frame);
            assert.deepEqual([Result.Width, Result.Height], [Width, Height], "stage size");
            if (Result.Differing > 0) {
                Mismatches.push(describeMismatch(Frame, Tag, Time, Result));
            }
            await listen();
        }
        // Sound plays in real time, behind the stepped stream.
        for (const Deadline = Date.now() + 3000; Tone && Loudest.Level < -70 &&
                                                 Date.now() < Deadline;) {
            await sleep(50);
            await listen();
        }
        return { Mismatches, Loudest, Messages };
    } finally {
        await Page.close();
    }
}

test("Ruffle shows every frame as FFmpeg decodes it", async (Context) => {
    for (const [Index, Case] of Cases.entries()) {
        await Context.test(Case.Name, async () => {
            const Options = Case.Options.map((Option) => (Inputs[Option] ? input(Option) : Option));
            const Flv = path.join(Work, `case-${Index}.flv`);
            fs.rmSync(Flv, { force: true });
            execFileSync(Arguments.cli, ["--quiet", ...Options, input(Case.Input), Flv]);
            const { Tags, Width, Height } = videoTags(fs.readFileSync(Flv));
            const Frames = ffmpegFrames(Flv);
            assert.equal(Frames.length, Tags.length * Width * Height * 4, "FFmpeg's frame count");
            if (Case.LastTime !== undefined) {
                assert.equal(Tags.at(-1).Time, Case.LastTime, "the last tag's time");
            }

            const Prefix = `/case-${Index}/`;
            Files.set(`${Prefix}out.flv`, fs.readFileSync(Flv));
            Files.set(`${Prefix}expected.rgba`, Frames);
            Files.set(`${Prefix}player.swf`, playerSwf(Width, Height, MovieFrameRate));
            Files.set(`${Prefix}index.html`, Buffer.from(pageHtml(Prefix, Width, Height)));
            const Played = await playInRuffle(Prefix, Tags, Width, Height, Case.Tone);
            for (const Key of [...Files.keys()].filter((Key) => Key.startsWith(Prefix))) {
                Files.delete(Key);
            }
            const { Frequency, Level } = Played.Loudest;
            const Heard = Level > -Infinity ? `${Frequency.toFixed(0)} Hz at ${Level.toFixed(1)} dB`
                                            : "nothing";
            assert.deepEqual(Played.Mismatches, [], Played.Messages.join("\n"));
            if (Case.Tone) {
                assert.ok(Math.abs(Frequency - Case.Tone) < 20 && Level > -70,
                          `the loudest sound at the output is ${Heard}, not ${Case.Tone} Hz`);
            }
            const KeyFrames = Tags.filter((Tag) => Tag.FrameByte === 0x13).length;
            console.log(`${Case.Name}: ${Tags.length} frames exact, ${KeyFrames} of them key ` +
                        `frames; heard ${Heard}`);
        });
    }
});
