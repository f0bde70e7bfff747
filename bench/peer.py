#!/usr/bin/python3
"""The gateway's work done by the shortest Python program that does it, to hold
its CPU and memory against: Debian's python3-pymodbus (3.0) reads registers 0-4
of each module in turn over Modbus RTU, a round at most once a PERIOD (1 s
unless given) as the gateway's watch, and python3-paho-mqtt (1.6) publishes
each reading as the gateway does: the same JSON, at QoS 1, to the same topics.

  bench/peer.py PORT BAUD ADDRESSES HOST:PORT PREFIX SECONDS [PERIOD]
  e.g. bench/peer.py /dev/pts/3 9600 1-32 127.0.0.1:1883 peer 60 0.1

It prints the readings published and the reads that went unanswered.
"""
import datetime
import json
import logging
import sys
import time

import paho.mqtt.client as mqtt
from pymodbus.client import ModbusSerialClient


def addresses(text):
    out = []
    for part in text.split(","):
        first, _, last = part.partition("-")
        out += range(int(first), int(last or first) + 1)
    return out


def signed(register):
    return register - 0x10000 if register & 0x8000 else register


def payload(address, registers):
    # As publish/topics.cpp writes it: local time with its offset, values in
    # tenths with one decimal; humidity is the one unsigned register.
    now = datetime.datetime.now().astimezone().replace(microsecond=0).isoformat()
    t, h, d, w = signed(registers[0]), registers[1], signed(registers[2]), signed(registers[3])
    return ('{"time":%s,"address":%d,"temperature_C":%.1f,"humidity_pct":%.1f,"dew_point_C":%.1f,"wet_bulb_C":%.1f}'
            % (json.dumps(now), address, t / 10, h / 10, d / 10, w / 10))


def main():
    if len(sys.argv) not in (7, 8):
        sys.exit(__doc__)
    port, baud, wanted, broker, prefix, seconds = sys.argv[1:7]
    period = float(sys.argv[7]) if len(sys.argv) == 8 else 1.0
    host, _, mqtt_port = broker.rpartition(":")
    logging.basicConfig(level=logging.CRITICAL)  # pymodbus logs every timeout

    client = mqtt.Client(clean_session=True)
    client.will_set(prefix + "/status", "offline", qos=1, retain=True)
    client.connect(host, int(mqtt_port))
    client.loop_start()
    client.publish(prefix + "/status", "online", qos=1, retain=True)

    # pymodbus 3.0 takes whole seconds: 0.5 would be 0, not waiting at all.
    line = ModbusSerialClient(port=port, baudrate=int(baud), bytesize=8, parity="N", stopbits=1, timeout=1, retries=0)
    if not line.connect():
        sys.exit("peer: %s cannot be opened" % port)
    online, published, silent = set(), 0, 0
    end = time.monotonic() + float(seconds)
    while time.monotonic() < end:
        round_start = time.monotonic()
        for address in addresses(wanted):
            reply = line.read_holding_registers(0, 5, slave=address)
            if reply.isError():
                silent += 1
                continue
            if address not in online:
                online.add(address)
                client.publish("%s/%d/availability" % (prefix, address), "online", qos=1, retain=True)
            client.publish("%s/%d/state" % (prefix, address), payload(address, reply.registers), qos=1)
            published += 1
        time.sleep(max(0.0, round_start + period - time.monotonic()))

    client.publish(prefix + "/status", "offline", qos=1, retain=True).wait_for_publish(5)
    client.disconnect()
    client.loop_stop()
    line.close()
    print("peer: %d readings published, %d reads unanswered" % (published, silent))


if __name__ == "__main__":
    main()
