// Checksum of a ranking request. Numbers are doubles; the bitwise operators
// read them as signed 32-bit words, which gives the bits of the unsigned
// computation as long as no intermediate value loses precision (none passes
// 2^36 here).

function hexdec(str) {
    return parseInt(str, 16);
}

// Logical right shift built from arithmetic shifts: after the first shift
// bit 31 is cleared and bit 30 set in its place, so no sign bit is copied in.
function zeroFill(a, b) {
    var z = hexdec("80000000");
    if (z & a) {
        a = a >> 1;
        a &= ~z;
        a |= 0x40000000;
        a = a >> (b - 1);
    } else {
        a = a >> b;
    }
    return a;
}

function mix(a, b, c) {
    a -= b; a -= c; a ^= zeroFill(c, 13);
    b -= c; b -= a; b ^= (a << 8);
    c -= a; c -= b; c ^= zeroFill(b, 13);
    a -= b; a -= c; a ^= zeroFill(c, 12);
    b -= c; b -= a; b ^= (a << 16);
    c -= a; c -= b; c ^= zeroFill(b, 5);
    a -= b; a -= c; a ^= zeroFill(c, 3);
    b -= c; b -= a; b ^= (a << 10);
    c -= a; c -= b; c ^= zeroFill(b, 15);
    return [a, b, c];
}

// Elements are not masked to bytes: a UTF-16 unit above 255 spills into the
// next byte position of its word.
function GoogleCH(url, length) {
    if (arguments.length < 2) {
        length = url.length;
    }
    var a = 0x9E3779B9;
    var b = 0x9E3779B9;
    var c = 0x3C91D25B;
    var k = 0;
    var len = length;
    var m;
    while (len >= 12) {
        a += (url[k + 0] + (url[k + 1] << 8) + (url[k + 2] << 16) + (url[k + 3] << 24));
        b += (url[k + 4] + (url[k + 5] << 8) + (url[k + 6] << 16) + (url[k + 7] << 24));
        c += (url[k + 8] + (url[k + 9] << 8) + (url[k + 10] << 16) + (url[k + 11] << 24));
        m = mix(a, b, c);
        a = m[0];
        b = m[1];
        c = m[2];
        k += 12;
        len -= 12;
    }
    c += length;
    // Each case falls through into the lower ones; c's low byte is the length.
    switch (len) {
    case 11: c += (url[k + 10] << 24);
    case 10: c += (url[k + 9] << 16);
    case 9: c += (url[k + 8] << 8);
    case 8: b += (url[k + 7] << 24);
    case 7: b += (url[k + 6] << 16);
    case 6: b += (url[k + 5] << 8);
    case 5: b += (url[k + 4]);
    case 4: a += (url[k + 3] << 24);
    case 3: a += (url[k + 2] << 16);
    case 2: a += (url[k + 1] << 8);
    case 1: a += (url[k + 0]);
    }
    m = mix(a, b, c);
    c = m[2];
    if (c < 0) {
        c += 0x100000000;
    }
    return c;
}

function strord(s) {
    var r = [];
    for (var i = 0; i < s.length; i++) {
        r[i] = s.charCodeAt(i);
    }
    return r;
}

// Bytes of each word, low byte first. Words below -2^31 are fine: both & and
// zeroFill reduce modulo 2^32 before they look at the bits.
function c32to8bit(arr32) {
    var r = [];
    for (var i = 0; i < arr32.length; i++) {
        var w = arr32[i];
        for (var bit = 0; bit < 32; bit += 8) {
            r[r.length] = w & 255;
            w = zeroFill(w, 8);
        }
    }
    return r;
}

function myfmod(x, y) {
    var q = Math.floor(x / y);
    return x - q * y;
}

// The quotient ch / 7 is never within rounding error of the next whole
// number, so the truncation done by << is the integer division.
function GoogleNewCh(ch) {
    ch = (((ch / 7) << 2) | (myfmod(ch, 13) & 7));
    var prbuf = [];
    prbuf[0] = ch;
    for (var i = 1; i < 20; i++) {
        prbuf[i] = prbuf[i - 1] - 9;
    }
    return GoogleCH(c32to8bit(prbuf), 80);
}

function getch(url) {
    var ch = GoogleCH(strord("info:" + url));
    ch = GoogleNewCh(ch);
    return "6" + ch;
}
