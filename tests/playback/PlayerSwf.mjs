// The smallest SWF that plays an FLV file through NetStream: a stage the size
// of the video, one Video object placed at 1:1, and ActionScript 1 that
// connects, attaches the stream and hands the page its controls through
// ExternalInterface, so that the test decides when playback starts.

const SwfVersion = 8;  // NetStream and ExternalInterface in ActionScript 1
const TwipsPerPixel = 20;
const VideoCharacter = 1;
const ScreenVideoCodec = 3;

const Tag = { End: 0, ShowFrame: 1, SetBackgroundColor: 9, DoAction: 12, PlaceObject2: 26,
              DefineVideoStream: 60 };

const Op = {
    Stop: 0x07,
    Pop: 0x17,
    GetVariable: 0x1c,
    SetVariable: 0x1d,
    Trace: 0x26,
    Return: 0x3e,
    NewObject: 0x40,
    Add2: 0x47,
    GetMember: 0x4e,
    SetMember: 0x4f,
    CallMethod: 0x52,
    Push: 0x96,
    DefineFunction: 0x9b,
};

const u16 = (Value) => Buffer.from([Value & 0xff, Value >> 8]);
const u32 = (Value) => {
    const Bytes = Buffer.alloc(4);
    Bytes.writeUInt32LE(Value);
    return Bytes;
};
const cString = (Text) => Buffer.from(`${Text}\0`, "latin1");

function tag(Code, Body = Buffer.alloc(0)) {
    const Short = Body.length < 0x3f;
    return Buffer.concat([u16((Code << 6) | (Short ? Body.length : 0x3f)),
                          Short ? Buffer.alloc(0) : u32(Body.length), Body]);
}

// A RECT: a 5-bit field width, then four signed fields of that width.
function rect(Width, Height) {
    const Values = [0, Width * TwipsPerPixel, 0, Height * TwipsPerPixel].map(BigInt);
    const Bits = BigInt(Math.max(...Values.map((Value) => Value.toString(2).length)) + 1);
    const Length = Math.ceil(Number(5n + 4n * Bits) / 8);
    let Packed = Values.reduce((Sum, Value) => (Sum << Bits) | Value, Bits);
    Packed <<= BigInt(Length * 8) - (5n + 4n * Bits);
    const Bytes = Buffer.alloc(Length);
    for (let Index = Length - 1; Index >= 0; --Index, Packed >>= 8n) {
        Bytes[Index] = Number(Packed & 0xffn);
    }
    return Bytes;
}

function action(Code, Body) {
    return Body === undefined ? Buffer.from([Code])
                              : Buffer.concat([Buffer.from([Code]), u16(Body.length), Body]);
}

// Strings, integers, booleans and null.
function push(...Values) {
    const Item = (Value) => {
        if (Value === null) {
            return Buffer.from([2]);
        }
        if (typeof Value === "boolean") {
            return Buffer.from([5, Value ? 1 : 0]);
        }
        if (typeof Value === "number") {
            return Buffer.concat([Buffer.from([7]), u32(Value)]);
        }
        return Buffer.concat([Buffer.from([0]), cString(Value)]);
    };
    return action(Op.Push, Buffer.concat(Values.map(Item)));
}

// A value for the stack: code as it is, { Variable } read, literals pushed.
function value(Item) {
    if (Buffer.isBuffer(Item)) {
        return Item;
    }
    if (Item?.Variable !== undefined) {
        return Buffer.concat([push(Item.Variable), action(Op.GetVariable)]);
    }
    return push(Item);
}

const variable = (Name) => ({ Variable: Name });
const member = (Object, Name) => Buffer.concat([value(Object), push(Name), action(Op.GetMember)]);

function anonymousFunction(Parameters, ...Body) {
    const Code = Buffer.concat(Body);
    const Header = Buffer.concat([cString(""), u16(Parameters.length), ...Parameters.map(cString),
                                  u16(Code.length)]);
    return Buffer.concat([action(Op.DefineFunction, Header), Code]);
}

const returning = (Code) => anonymousFunction([], Code, action(Op.Return));

const argumentsOf = (Arguments) =>
    Buffer.concat([...[...Arguments].reverse().map(value), push(Arguments.length)]);

// Object.Method(...Arguments), its result dropped.
const call = (Object, Method, ...Arguments) =>
    Buffer.concat([argumentsOf(Arguments), value(Object), push(Method), action(Op.CallMethod),
                   action(Op.Pop)]);

const setVariable = (Name, Code) => Buffer.concat([push(Name), Code, action(Op.SetVariable)]);

const newObject = (Class, ...Arguments) =>
    Buffer.concat([argumentsOf(Arguments), push(Class), action(Op.NewObject)]);

const ExternalInterface = member(member(variable("flash"), "external"), "ExternalInterface");

// A method of the player element that calls Function.
const exposed = (Name, Function) => call(ExternalInterface, "addCallback", Name, null, Function);

// The stream is opened paused, so that its time 0 is when the page calls
// resume(); the file's URL is the movie parameter "flv". Status events are
// traced.
function script() {
    const Stream = variable("ns");
    return Buffer.concat([
        setVariable("nc", newObject("NetConnection")),
        call(variable("nc"), "connect", null),
        setVariable("ns", newObject("NetStream", variable("nc"))),
        value(Stream), push("onStatus"),
        anonymousFunction(["info"], push("status "), member(variable("info"), "code"),
                          action(Op.Add2), action(Op.Trace)),
        action(Op.SetMember),
        call(variable("video"), "attachVideo", Stream),
        call(Stream, "play", variable("flv")),
        call(Stream, "pause", true),
        exposed("streamTime", returning(member(Stream, "time"))),
        exposed("bytesLoaded", returning(member(Stream, "bytesLoaded"))),
        exposed("bytesTotal", returning(member(Stream, "bytesTotal"))),
        exposed("resume", anonymousFunction([], call(Stream, "pause", false))),
        action(Op.Stop),
        Buffer.from([0]),  // end of the actions
    ]);
}

// FrameRate: the movie's frames per second, up to 255.
export function playerSwf(Width, Height, FrameRate) {
    const Video = Buffer.concat([u16(VideoCharacter), u16(0), u16(Width), u16(Height),
                                 Buffer.from([0, ScreenVideoCodec])]);
    const HasNameMatrixAndCharacter = 0x26;
    const IdentityMatrix = Buffer.from([0]);
    const Place = Buffer.concat([Buffer.from([HasNameMatrixAndCharacter]), u16(1),
                                 u16(VideoCharacter), IdentityMatrix, cString("video")]);
    const Body = Buffer.concat([
        rect(Width, Height), u16(FrameRate << 8), u16(1),
        tag(Tag.SetBackgroundColor, Buffer.from([0, 0, 0])),
        tag(Tag.DefineVideoStream, Video),
        tag(Tag.PlaceObject2, Place),
        tag(Tag.DoAction, script()),
        tag(Tag.ShowFrame),
        tag(Tag.End),
    ]);
    return Buffer.concat([Buffer.from("FWS"), Buffer.from([SwfVersion]), u32(8 + Body.length),
                          Body]);
}
